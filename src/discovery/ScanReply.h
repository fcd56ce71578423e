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

#include <cstddef>
#include <string_view>
#include <vector>

#include "discovery/DeviceRecord.h"

namespace zendra {

// The device records of a scan reply, in reply order; a record's index is its row.
std::vector<DeviceRecord> ParseScanReply(std::string_view reply);

enum class ScanReplyState { kPending, kComplete, kFailed };

// Whether the text collected so far ends the scan. The module ends its answer with a
// line "OK" (or "ERROR" when it refuses the command). Only a whole line counts, as in
// every AT transaction (AtLink::FindLine: lines end at CR or LF, and the last piece,
// which has no line end yet, counts too): the first line that is exactly "OK"
// completes the reply, one that is exactly "ERROR" before it fails it. Searching for
// the letters anywhere would end the scan inside a node name such as "BOOKSHELF" or
// "OK lab" and silently drop the devices after it. When `at` is given and the reply
// is decided, it receives where the deciding line starts: the collector then waits
// for the rest of that line, since a last piece "OK" may yet turn out to be the start
// of a longer line.
ScanReplyState JudgeScanReply(std::string_view reply, std::size_t* at = nullptr);

}  // namespace zendra
