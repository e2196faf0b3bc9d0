// TCompressor: the program's one window. The user names a source and a
// target file, by typing or through the two file dialogs, and presses
// Compress; the window drives its THTMLCompressor through load, compress
// and save and reports on the status line (Label3).

#ifndef VELMAR_APP_UNIT_COMPRESSOR_H_
#define VELMAR_APP_UNIT_COMPRESSOR_H_

#include <QString>
#include <QWidget>
#include <memory>

#include "HTMLCompressor.h"

class QFileDialog;

namespace Ui {
class TCompressor;
}

class TCompressor : public QWidget {
  Q_OBJECT

 public:
  explicit TCompressor(QWidget* parent = nullptr);
  ~TCompressor() override;

  // Fills Source File with `file` and Target File with the ".min" name
  // beside it (page.html -> page.min.html): the file a file manager's
  // "Open with" passes.
  void OpenWith(const QString& file);

  // The status texts.
  static constexpr const char* kStatusStart = "Please select input- and output file!";
  static constexpr const char* kStatusCompressing = "Compressing...";
  static constexpr const char* kStatusDone = "Compressing done...";
  static constexpr const char* kStatusReadFailed = "Source file could not be read!";
  static constexpr const char* kStatusWriteFailed = "Target file could not be written!";

 private slots:
  void CompressBtnClick();
  void SpeedButton1Click();
  void SpeedButton2Click();

 private:
  // A file dialog that opens with the name and filter last confirmed in it.
  struct RememberingDialog {
    QFileDialog* dialog = nullptr;
    QString confirmed_name;
    QString confirmed_filter;
  };

  void SetStatus(const char* text);
  // Shows the dialog; on confirmation puts the chosen name, with its full
  // path, into `edit`'s text and remembers it.
  void ChooseFile(RememberingDialog& chooser, class QLineEdit* edit);

  std::unique_ptr<Ui::TCompressor> ui;
  RememberingDialog OpenHTMLDialog;
  velmar::THTMLCompressor HTMLCompressor;
  RememberingDialog SaveDialog1;
};

#endif  // VELMAR_APP_UNIT_COMPRESSOR_H_
