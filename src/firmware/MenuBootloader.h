#pragma once
// The modules' bootloader: a text menu at 115200 baud whose prompt holds "BL",
// with the menu keys "1" (receive an image, which it asks for with 'C' and takes
// as XMODEM-CRC blocks through the transfer engine, ImageTransfer) and "2" (run
// the application). Three CAN end an upload it waits for; it then shows its menu
// again. The application enters it with "AT+BOOTLOAD\n" ("ENTER BOOTLOADER"); the
// local module opens the way to a remote's with "AT+BOOTLOAD=1,<address>" (an
// image it relays) or "=2,<address>" (a clone of its own firmware), answered with
// "Start ...".
//
// Stateless but for the CRC table, filled once: one object serves every host.

#include "firmware/Bootloader.h"
#include "firmware/CrcTable.h"

namespace zendra {

class MenuBootloader : public Bootloader {
 public:
  // The rate the bootloader talks at.
  static constexpr int kBaudRate = 115200;

  MenuBootloader();

  // The one every host uses unless it is given another.
  static const MenuBootloader& Standard();

  // Whether received text is the bootloader's: its prompt "BL", or the 'C' (among
  // NAKs) of a bootloader that waits for an upload and shows no menu.
  static bool Answered(std::string_view received);

  int BaudRate() const override { return kBaudRate; }
  Connection::Probe Probe(Connection& connection, LineLease& line) const override;
  Entry EnterLocal(LineLease& line) const override;
  Entry EnterFromMenu(LineLease& line) const override;
  Entry EnterRemote(LineLease& line, const std::string& address, RemoteKind kind,
                    bool& asked) const override;
  TransferResult SendImage(TransferChannel& channel, const std::string& path,
                           const TransferParams& params, Operator& op, TransferSinks sinks,
                           std::stop_token stop) const override;
  void AbandonUpload(TransferChannel& channel) const override;
  void StartApplication(TransferChannel& channel) const override;

 private:
  CrcTable crcTable_;
};

}  // namespace zendra
