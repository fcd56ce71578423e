#pragma once
// What the manager asks of a module's bootloader, whatever kind it is: the seam
// between the firmware updates (the local update, the remote sequence, the reload
// of a damaged firmware, the connect handshake's probe) and the one protocol a
// module family's bootloader speaks.
//
// An implementation knows its bootloader whole - its rate, its prompt, its menu
// keys, how an upload is asked for, sent and abandoned, how the application is
// started again - and nothing of windows or sequences. The callers keep their own
// texts, pauses around the bootloader's steps and outcomes. MenuBootloader (the
// text menu with its XMODEM-CRC receiver) is the one the modules have.
//
// Every call runs on the caller's thread on a line the caller holds; an
// implementation keeps no state between calls (one object serves every host, and
// several hosts at once).

#include <stop_token>
#include <string>
#include <string_view>

#include "base/Operator.h"
#include "device/Connection.h"
#include "device/LineLease.h"
#include "firmware/ImageTransfer.h"
#include "firmware/TransferChannel.h"

namespace zendra {

class Bootloader {
 public:
  // How an entry into the bootloader ended.
  enum class Entry {
    kReady,     // the bootloader waits for the image (or, for a clone, copies it itself)
    kNoAnswer,  // it was not reached: nothing waits for an image
    kStopped,   // the line's holder was asked to stop on the way; nothing waits for an image
  };
  // What a remote module is to get: an image relayed by the local module, or the
  // local module's own firmware, copied by the local module itself.
  enum class RemoteKind { kImage, kClone };

  virtual ~Bootloader() = default;

  // The rate the bootloader talks at, whatever the application's own rate is. A
  // local update and a remote one need the line at this rate already.
  virtual int BaudRate() const = 0;

  // The connect handshake's probe, when the application did not answer: whether
  // the module sits in its bootloader, and whether its firmware runs when started
  // from there. `connection` reopens the port at another rate where needed.
  virtual Connection::Probe Probe(Connection& connection, LineLease& line) const = 0;

  // From the application running on the module on the line to a bootloader that
  // waits for an image.
  virtual Entry EnterLocal(LineLease& line) const = 0;
  // From the bootloader's own menu (a module whose firmware is damaged waits there)
  // to waiting for an image.
  virtual Entry EnterFromMenu(LineLease& line) const = 0;
  // Asks the local module to open the way to the bootloader of the remote at
  // `address`. `asked` is set when the local module has been asked (a stop after
  // that leaves the remote in its bootloader, waiting for an image).
  virtual Entry EnterRemote(LineLease& line, const std::string& address, RemoteKind kind,
                            bool& asked) const = 0;

  // Sends the image at `path` to a bootloader that waits for it (EnterLocal,
  // EnterFromMenu or EnterRemote gave kReady), reporting through `sinks`; `op`
  // takes the messages of the transfer. Runs until the end or a stop.
  virtual TransferResult SendImage(TransferChannel& channel, const std::string& path,
                                   const TransferParams& params, Operator& op, TransferSinks sinks,
                                   std::stop_token stop) const = 0;
  // Ends an upload the bootloader waits for before any image was sent (a remote
  // relay that was cancelled while it got ready).
  virtual void AbandonUpload(TransferChannel& channel) const = 0;
  // Runs the application after an image went in whole.
  virtual void StartApplication(TransferChannel& channel) const = 0;
};

// Gives the connect handshake of `connection` the probe of `bootloader` (which
// outlives the connection).
void UseForHandshake(Connection& connection, const Bootloader& bootloader);

}  // namespace zendra
