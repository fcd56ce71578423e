#include "firmware/MenuBootloader.h"

#include <cstdint>

#include "serial/AtLink.h"
#include "serial/RemoteAddress.h"

namespace zendra {

namespace {
// The menu's prompt, and its keys.
constexpr const char* kPrompt = "BL";
constexpr const char* kReceiveImage = "1";
constexpr const char* kRunApplication = "2";
// What ends an upload the bootloader waits for, three times.
constexpr std::uint8_t kCan = ImageTransfer::kCan;
// What brings the menu: a line end; ETX (Ctrl-C) as well.
constexpr const char* kShowMenu = "\n";
constexpr const char* kEtx = "\x03";

// The application's way into its bootloader, and the local module's way to a
// remote's: 1 relays an image, 2 clones the local firmware.
constexpr const char* kBootload = "AT+BOOTLOAD\n";
constexpr int kBootloadTimeoutSeconds = 2;
constexpr const char* kBootloadImage = "AT+BOOTLOAD=1,";
constexpr const char* kBootloadClone = "AT+BOOTLOAD=2,";
constexpr int kRemoteBootloadTimeoutSeconds = 20;
constexpr int kPromptLooks = 100;

bool Holds(const std::string& text, const char* what) {
  return text.find(what) != std::string::npos;
}

void WriteCans(TransferChannel& channel) {
  for (int i = 0; i < 3; ++i) channel.Write(&kCan, 1);
}
void WriteCans(SerialPort& port) {
  for (int i = 0; i < 3; ++i) port.Write(&kCan, 1);
}
}  // namespace

MenuBootloader::MenuBootloader() { crcTable_.Fill(); }

const MenuBootloader& MenuBootloader::Standard() {
  static const MenuBootloader standard;
  return standard;
}

bool MenuBootloader::Answered(std::string_view received) {
  return received.find(kPrompt) != std::string_view::npos || AtLink::WaitingForUpload(received);
}

Connection::Probe MenuBootloader::Probe(Connection& connection, LineLease& line) const {
  AtLink& link = line.Link();
  SerialPort& port = line.Port();
  link.reply.clear();
  line.Ring().Reset();
  if (connection.Settings().baudRate != kBaudRate) {
    // The bootloader talks at its own rate whatever the application's rate is.
    connection.Reopen(line, kBaudRate);
    line.Sleep(100);
  }
  port.Write(kEtx);
  line.Sleep(200);
  port.Write(kShowMenu);

  if (!link.CollectReplyUntil([](const std::string& r) { return Answered(r); }, 30))
    return Connection::Probe::kNoAnswer;
  if (!Holds(link.reply, kPrompt)) {
    // The bootloader waits for an upload (the handshake's own "ATR1" reached its
    // menu, whose "1" starts one, or a transfer was broken off) and hears nothing
    // but blocks. Cancel the upload: it shows its menu again, and the probe goes
    // on from there.
    WriteCans(port);
    line.Sleep(100);
    link.reply.clear();
    port.Write(kShowMenu);
    if (!link.CollectReplyUntil([](const std::string& r) { return Holds(r, kPrompt); }, 30))
      return Connection::Probe::kNoAnswer;
  }

  // The menu is there: choose "2" (run the firmware) and see whether the
  // application answers or the menu comes back. The bootloader prints its menu
  // for the ETX and again for the "\n"; the second one may still be on its way, so
  // the ring is emptied after the pause, not before it: a stale "BL" must not be
  // taken for the menu coming back after "2".
  link.reply.clear();
  line.Sleep(100);
  line.Ring().Reset();
  port.Write(kRunApplication);
  line.Sleep(3000);
  port.Write(kShowMenu);
  if (link.CollectReplyUntil(
          [](const std::string& r) { return Holds(r, "OK") || Holds(r, kPrompt); }, 30)) {
    return Holds(link.reply, "OK") ? Connection::Probe::kGoOn : Connection::Probe::kDamaged;
  }
  if (line.Stopped()) return Connection::Probe::kNoAnswer;
  // Silence after "2": carry on with the operator's own settings.
  connection.Reopen(line, connection.Settings().baudRate);
  line.Sleep(100);
  return Connection::Probe::kGoOn;
}

Bootloader::Entry MenuBootloader::EnterLocal(LineLease& line) const {
  AtLink& link = line.Link();
  link.WakeUpIfSleepy();
  // The running firmware answers by starting its bootloader ("ENTER BOOTLOADER").
  if (link.QueryAtCommand(kBootload, kBootloadTimeoutSeconds) != "ENTER") return Entry::kNoAnswer;
  // The bootloader's menu, then menu choice 1: it waits for an image and asks
  // for it with 'C', which the transfer awaits.
  line.Sleep(1000);
  line.Port().Write(kShowMenu);
  line.Sleep(2000);
  line.Port().Write(kReceiveImage);
  line.Sleep(2000);
  return line.Stopped() ? Entry::kStopped : Entry::kReady;
}

Bootloader::Entry MenuBootloader::EnterFromMenu(LineLease& line) const {
  // A line end makes the bootloader print its menu, which holds "BL".
  AtLink& link = line.Link();
  link.reply.clear();
  line.Ring().Reset();
  line.Port().Write(kShowMenu);

  // Up to 100 looks 100 ms apart, each as soon as bytes arrive.
  if (!link.CollectReplyUntil([](const std::string& r) { return Holds(r, kPrompt); }, kPromptLooks))
    return Entry::kNoAnswer;

  // Menu choice 1 with a line end: the bootloader waits for an image and asks for
  // it with 'C', which the transfer awaits.
  line.Sleep(2000);
  line.Port().Write(std::string(kReceiveImage) + "\n");
  line.Sleep(2000);
  return line.Stopped() ? Entry::kStopped : Entry::kReady;
}

Bootloader::Entry MenuBootloader::EnterRemote(LineLease& line, const std::string& address,
                                              RemoteKind kind, bool& asked) const {
  asked = false;
  line.Sleep(5000);
  if (line.Stopped()) return Entry::kStopped;
  // The local module answers by preparing the remote module: "Start ..." (with
  // ".ebl" for an image) once the remote's bootloader is reached. An address that
  // would break the command line is never sent.
  const bool clone = kind == RemoteKind::kClone;
  const auto command = AddressedLine(clone ? kBootloadClone : kBootloadImage, address, "\r\n");
  asked = command.has_value();
  if (!command || line.Link().QueryAtCommand(*command, kRemoteBootloadTimeoutSeconds) != "START")
    return line.Stopped() ? Entry::kStopped : Entry::kNoAnswer;
  // The module copies its firmware by itself.
  if (clone) return Entry::kReady;
  line.Sleep(2000);
  if (line.Stopped()) {
    // The relay waits for blocks: three CAN end it, as a stopped transfer does.
    WriteCans(line.Port());
    return Entry::kStopped;
  }
  return Entry::kReady;
}

TransferResult MenuBootloader::SendImage(TransferChannel& channel, const std::string& path,
                                         const TransferParams& params, Operator& op,
                                         TransferSinks sinks, std::stop_token stop) const {
  ImageTransfer engine(channel, crcTable_, op, std::move(sinks));
  return engine.Run(path, params, stop);
}

void MenuBootloader::AbandonUpload(TransferChannel& channel) const { WriteCans(channel); }

void MenuBootloader::StartApplication(TransferChannel& channel) const {
  channel.Write(reinterpret_cast<const std::uint8_t*>(kRunApplication), 1);
}

}  // namespace zendra
