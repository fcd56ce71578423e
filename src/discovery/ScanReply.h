#pragma once
// The local module's answer to the network scan, "at+ds\r\n": one line per remote
// device it knows, then "OK".
//
//   FFD|0123456789ABCDEF|1234|1.0.5 |MA11|Kitchen node\r\n
//   ...
//   OK\r\n
//
// A line is the text up to the next LF. A device record is a line with at least one
// "|" whose first field (the text before the first "|") contains none of the markers
// "*", "CLD", "CHD" (anywhere, case-sensitive); every other line (the "OK", an echoed
// command, an empty line, a marked line) is skipped and takes no row. The fields are
// taken one after the other: a field is the text before the next "|" and the rest of
// the line continues after it; where no "|" is left the field is empty and the rest
// stays as it is. So a short record leaves its middle columns empty while its last
// text still becomes the node name, and a long one keeps the surplus, bars included,
// in the node name. Field 3 is read past; the type, address, version and model are cut
// at their first space, the node name (everything after the fifth "|") at its first CR.
// When no LF is left, the rest of the reply is the last line.

#include <string_view>
#include <vector>

#include "discovery/DeviceRecord.h"

namespace zendra {

// The device records of a scan reply, in reply order; a record's index is its row.
std::vector<DeviceRecord> ParseScanReply(std::string_view reply);

enum class ScanReplyState { kPending, kComplete, kFailed };

// Whether the text collected so far ends the scan. The module ends its answer with a
// line "OK" (or "ERROR" when it refuses the command). Only a whole line counts: a line
// (up to its LF, one trailing CR removed) that is exactly "OK" completes the reply, one
// that is exactly "ERROR" before it fails it. The last piece, which has no LF yet,
// counts too when it is exactly "OK" or "ERROR" (a trailing CR allowed), so a final
// "OK" whose line end has not arrived still ends the scan. Searching for the letters
// anywhere would end the scan inside a node name such as "BOOKSHELF" or "OK lab" and
// silently drop the devices after it.
ScanReplyState JudgeScanReply(std::string_view reply);

}  // namespace zendra
