#pragma once
// A definition file for tests that talk to the simulated module: both sides (the
// module's registers and the manager's table) are given the same text.

namespace zendra::test {

// Parameters of every type the export handles: 29 (String), 39 (Get, never
// exported), 10 with choices, 10 with a range, 16, a free text without range and a
// group a remote device never loads.
inline constexpr const char* kTestDefinitions =
    "; test module\r\n"
    "[Node/Node name]String;Range = 1;Max = 16;Help: <Shown in scans.>;\r\n"
    " Command = AT+NODENAME;\r\n"
    "[Node/Node type]Get;Help: <Read only.>;\r\n Command = AT+NODETYPE;\r\n"
    "[Radio/Power]10;Combo_list = Low:Mid:High;Value_list = 0:1:2;Help: <Output power.>;\r\n"
    " Command = AT+TXPOWER;\r\n"
    "[Radio/Channel]10;Range = 11;Max = 26;Help: <Radio channel.>;\r\n Command = AT+CHANNEL;\r\n"
    "[Network/PAN ID]16;Range = 0000;Max = FFFE;Help: <Network.>;\r\n Command = AT+PANID;\r\n"
    "[Network/Note]String;Help: <Free text.>;\r\n Command = AT+NOTE;\r\n"
    "[Security Settings/Link key]16;Range = 0;Max = FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF;"
    "Help: <Key.>;\r\n Command = AT+LINKKEY;\r\n";

}  // namespace zendra::test
