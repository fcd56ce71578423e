// The GUI tests' main: the windows need a QApplication, offscreen unless the
// caller chose a platform (CTest sets it too, but test discovery runs without it).

#include <gmock/gmock.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The windows also look for definition files in the user's data folder, and keep
  // settings: the tests' user has an empty data folder and settings of its own.
  QTemporaryDir userData;
  qputenv("XDG_DATA_HOME", userData.path().toUtf8());
  QApplication app(argc, argv);
  for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
    QSettings::setPath(format, QSettings::UserScope, userData.path() + "/config");
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
