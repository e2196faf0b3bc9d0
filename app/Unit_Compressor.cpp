#include "Unit_Compressor.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QLocale>
#include <QMessageBox>
#include <cstdint>
#include <exception>
#include <filesystem>

#include "ui_Unit_Compressor.h"

namespace {

constexpr const char* kOpenPatterns =
    "*.html *.htm *.shtml *.chtml *.asp *.cfm *.dhtml *.dhtm *.phtml *.phtm *.ephtml *.ephtm";
constexpr const char* kSavePatterns =
    "*.htm *.html *.shtml *.chtml *.asp *.cfm *.dhtml *.dhtm *.phtml *.phtm *.ephtml *.ephtm";
// Shown as "All files (*.*)"; it matches names without a dot too, as "*.*"
// does on Windows.
constexpr const char* kAllFilesFilter = "All files (*.*) (*)";

QString HtmlFilesFilter(const char* patterns) {
  return QStringLiteral("HTML files (%1)").arg(QLatin1String(patterns));
}

// Qt's own dialog, so that it looks the same everywhere and tests can drive
// it. The window owns it; it keeps its folder between uses.
QFileDialog* MakeDialog(QWidget* window, const char* name, QFileDialog::AcceptMode mode,
                        const char* patterns) {
  auto* dialog = new QFileDialog(window);
  dialog->setObjectName(QLatin1String(name));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, mode == QFileDialog::AcceptSave);
  dialog->setAcceptMode(mode);
  dialog->setFileMode(QFileDialog::AnyFile);  // a name that does not exist yet is fine
  dialog->setDefaultSuffix(QStringLiteral("htm"));
  dialog->setNameFilters({HtmlFilesFilter(patterns), QLatin1String(kAllFilesFilter)});
  return dialog;
}

std::filesystem::path ToPath(const QString& name) {
#ifdef _WIN32
  return std::filesystem::path(name.toStdWString());
#else
  return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

// The picture `name` drawn at 16 pixels and, for screens of twice the
// density, at 32: Qt takes the one the screen needs.
QIcon TwoSizes(const QString& name) {
  QIcon icon;
  icon.addFile(QStringLiteral(":/images/%1.xpm").arg(name), QSize(16, 16));
  icon.addFile(QStringLiteral(":/images/%1@2x.xpm").arg(name), QSize(32, 32));
  return icon;
}

// "770 -> 663 bytes, -13.9%", digits grouped as in English.
QString SavingText(std::int64_t before, std::int64_t after) {
  const QLocale english(QLocale::English);
  QString text = QStringLiteral("%1 -> %2 bytes, ")
                     .arg(english.toString(static_cast<qlonglong>(before)),
                          english.toString(static_cast<qlonglong>(after)));
  if (before == after) return text + QStringLiteral("unchanged");
  const double saving = 100.0 * static_cast<double>(before - after) / static_cast<double>(before);
  return text + QStringLiteral("-%1%").arg(saving, 0, 'f', 1);
}

}  // namespace

// The pictures live in a static library, whose resources are not
// registered unless asked for by name (outside any namespace).
static void LoadPictures() { Q_INIT_RESOURCE(Compressor); }

TCompressor::TCompressor(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::TCompressor>()) {
  LoadPictures();
  ui->setupUi(this);
  setFixedSize(305, 130);
  ui->SpeedButton1->setIcon(TwoSizes(QStringLiteral("open")));
  ui->SpeedButton2->setIcon(TwoSizes(QStringLiteral("save")));
  ui->CompressBtn->setIcon(TwoSizes(QStringLiteral("compress")));
  OpenHTMLDialog.dialog =
      MakeDialog(this, "OpenHTMLDialog", QFileDialog::AcceptOpen, kOpenPatterns);
  SaveDialog1.dialog = MakeDialog(this, "SaveDialog1", QFileDialog::AcceptSave, kSavePatterns);
  ui->Label1->adjustSize();
  ui->Label2->adjustSize();
  ui->Label3->adjustSize();

  connect(ui->CompressBtn, &QPushButton::clicked, this, &TCompressor::CompressBtnClick);
  connect(ui->SpeedButton1, &QToolButton::clicked, this, &TCompressor::SpeedButton1Click);
  connect(ui->SpeedButton2, &QToolButton::clicked, this, &TCompressor::SpeedButton2Click);
  ui->Edit1->setFocus();
}

TCompressor::~TCompressor() = default;

void TCompressor::CompressBtnClick() {
  if (ui->Edit1->text().isEmpty()) return;
  if (ui->Edit2->text().isEmpty()) return;
  if (!HTMLCompressor.LoadFromFile(ToPath(ui->Edit1->text()))) {
    SetStatus(kStatusReadFailed);
    return;
  }
  SetStatus(kStatusCompressing);
  ui->Label3->repaint();  // seen during a long run, before the event loop is back
  try {
    HTMLCompressor.Compress();
  } catch (const std::exception& error) {
    QMessageBox::critical(this, windowTitle(), QString::fromLocal8Bit(error.what()));
    return;
  }
  if (!HTMLCompressor.SaveToFile(ToPath(ui->Edit2->text()))) {
    SetStatus(kStatusWriteFailed);
    return;
  }
  SetStatus(kStatusDone);
  ui->Label3->setToolTip(SavingText(HTMLCompressor.Size(), HTMLCompressor.CompressedSize()));
}

void TCompressor::OpenWith(const QString& file) {
  const QFileInfo source(file);
  ui->Edit1->setText(QDir::toNativeSeparators(source.absoluteFilePath()));
  const QString target = source.suffix().isEmpty() ? source.fileName() + QStringLiteral(".min.html")
                                                   : source.completeBaseName() +
                                                         QStringLiteral(".min.") + source.suffix();
  ui->Edit2->setText(QDir::toNativeSeparators(source.absoluteDir().filePath(target)));
}

void TCompressor::SpeedButton1Click() { ChooseFile(OpenHTMLDialog, ui->Edit1); }

void TCompressor::SpeedButton2Click() { ChooseFile(SaveDialog1, ui->Edit2); }

void TCompressor::SetStatus(const char* text) {
  ui->Label3->setText(QLatin1String(text));
  ui->Label3->adjustSize();
}

void TCompressor::ChooseFile(RememberingDialog& chooser, QLineEdit* edit) {
  QFileDialog& dialog = *chooser.dialog;
  dialog.selectNameFilter(chooser.confirmed_filter.isEmpty() ? dialog.nameFilters().first()
                                                             : chooser.confirmed_filter);
  dialog.selectFile(chooser.confirmed_name);
  if (dialog.exec() != QDialog::Accepted) return;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return;
  chooser.confirmed_name = chosen.first();
  chooser.confirmed_filter = dialog.selectedNameFilter();
  edit->setText(QDir::toNativeSeparators(chooser.confirmed_name));
}
