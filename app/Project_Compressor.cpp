// The application start: title, the main window, the event loop.

#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QStyle>

#include "Unit_Compressor.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Velmar HTML Compressor"));
  QApplication::setApplicationDisplayName(QStringLiteral("Velmar HTML Compressor"));
  QIcon icon(QStringLiteral(":/images/icon.xpm"));
  icon.addFile(QStringLiteral(":/images/icon@2x.xpm"), QSize(64, 64));
  QApplication::setWindowIcon(icon);

  TCompressor Compressor;
  // A file manager's "Open with" names the page to compress.
  if (const QStringList arguments = QCoreApplication::arguments(); arguments.size() > 1) {
    Compressor.OpenWith(arguments.at(1));
  }
  Compressor.setGeometry(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, Compressor.size(),
                          QGuiApplication::primaryScreen()->availableGeometry()));
  Compressor.show();
  return application.exec();
}
