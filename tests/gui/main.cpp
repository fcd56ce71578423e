// The GUI tests' main: the windows need a QApplication, offscreen unless the
// caller chose a platform (CTest sets it too, but test discovery runs without it).
// What the program remembers goes to a temporary folder, never the user's.

#include <gmock/gmock.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir settings;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
