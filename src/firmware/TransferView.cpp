#include "firmware/TransferView.h"

#include "firmware/FirmwarePageView.h"

namespace zendra {

void TransferView::Progress(const DeviceRunEvent& event) {
  SetStatus(SendingStatus(event));
  SetProgress(event.percent);
}

void FirmwarePageView::ShowSending(int row, const DeviceRunEvent& event) {
  if (event.kind != DeviceRunEvent::Kind::kSending) return;
  SetStatus(SendingStatus(event));
  SetRowProgress(row, event.percent);
}

}  // namespace zendra
