// The application start: title, the main window, the event loop.

#include <QApplication>
#include <QScreen>
#include <QStyle>

#include "Unit_Compressor.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmar HTML Compressor"));
  QApplication::setApplicationDisplayName(QStringLiteral("Velmar HTML Compressor"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/icon.xpm")));

  TCompressor Compressor;
  Compressor.setGeometry(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, Compressor.size(),
                          QGuiApplication::primaryScreen()->availableGeometry()));
  Compressor.show();
  return application.exec();
}
