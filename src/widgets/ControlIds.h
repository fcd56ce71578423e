#pragma once
// The dialog-template IDs of every window's controls. They are the controls'
// identity: the windows tag each control with its ID, and code and tests find a
// control by ID within its window (FindControl). The same number means different
// controls in different templates (1006 is Reboot on the main dialog and Save on
// the Configuration page), so an ID is only meaningful together with its window.
//
// Plain header without Qt, so that the core can name controls in what it returns.

namespace zendra {

// Controls without an ID of their own (labels, group boxes).
inline constexpr int kNoControlId = -1;

struct TemplateIds {
  enum : int {
    kAboutBox = 100,
    kMainDialog = 102,
    kConfigPage = 129,
    kFirmwarePage = 133,
    kScanDialog = 140,
    kFirmwareUpload = 145,
    kWebUpdate = 148,
  };
};

struct ResourceIds {
  enum : int {
    kProgramIcon = 128,
    kTreeItemIcon = 139,      // tree image 1: an item that is not selected
    kTreeSelectedIcon = 144,  // tree image 0: the selected item
  };
};

// Template 102, the main dialog.
struct MainDialogIds {
  enum : int {
    kTabs = 1000,
    kReboot = 1006,
    kReload = 1007,
    kOpen = 1009,
    kPortBox = 1010,
    kBaudBox = 1011,
    kDataBitsBox = 1012,
    kStopBitsBox = 1013,
    kParityBox = 1014,
    kFlowBox = 1015,
    kProductName = 1022,
    kNodeName = 1023,
    kEuiAddress = 1024,
    kFirmwareVersion = 1025,
    // Beyond the template: finds the port and rate a module answers at.
    kDetect = 1060,
  };
};

// Template 129, the Configuration page.
struct ConfigPageIds {
  enum : int {
    kTree = 1001,
    kExport = 1002,
    kImport = 1003,
    kRestore = 1004,
    kValueGroup = 1005,
    kSave = 1006,
    kValueEdit = 1011,
    kDescription = 1012,
    kRangeText = 1013,
    kRangeLabel = 1015,
    kChoiceBox = 1021,
    kRemoteAddress = 1026,
    kRemoteSetting = 1027,
    kRemoteProductName = 1028,
    kRemoteEuiAddress = 1029,
    kRemoteVersion = 1030,
    kScan = 1042,
  };
};

// Template 133, the Firmware Update page.
struct FirmwarePageIds {
  enum : int {
    kDeviceList = 1014,
    kChooseFile = 1031,
    kFilePath = 1032,
    kLocalUpdate = 1033,
    kLocalProgress = 1034,
    kSearch = 1035,
    kRemoteUpdate = 1036,
    kStatus = 1037,
    kClone = 1038,
    kDownload = 1039,
    // Beyond the template: what a person plans an update with.
    kTransferText = 1060,  // bytes sent of the total, the rate, the time left
    kCancel = 1061,        // stops the image going out, after a question
    kRetryFailed = 1062,   // starts the devices that failed in the last remote run again
    kRemoteCancel = 1063,  // stops the remote run (a device's preparation or transfer)
  };
};

// Template 140, the scan dialog.
struct ScanDialogIds {
  enum : int {
    kSearch = 1042,
    kApply = 1044,
    kDeviceList = 1045,
  };
};

// Template 145, the firmware reload dialog.
struct FirmwareUploadIds {
  enum : int {
    kProgress = 1034,
    kUpload = 1046,
    kChooseFile = 1047,
    kFilePath = 1048,
    kStatus = 1049,
    kClose = 1050,
    // Beyond the template, as on the Firmware Update page.
    kTransferText = 1060,
    kCancel = 1061,
  };
};

// Template 148, the download dialog of the web update.
struct WebUpdateIds {
  enum : int {
    kFileName = 1050,
    kMessage = 1051,
    kProgress = 1052,
  };
};

}  // namespace zendra
