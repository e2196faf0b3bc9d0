// The real window, driven offscreen: boxes typed into, the button clicked
// with the mouse and with Alt+P, the dialogs confirmed and cancelled.

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <functional>

#include "Unit_Compressor.h"

class WindowTest : public QObject {
  Q_OBJECT

 private:
  template <typename T>
  static T* Child(TCompressor& window, const char* name) {
    T* child = window.findChild<T*>(QLatin1String(name));
    if (child == nullptr) qFatal("no child %s", name);
    return child;
  }
  static QString Status(TCompressor& window) { return Child<QLabel>(window, "Label3")->text(); }
  static void WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  static QByteArray ReadFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  // Clicks `button` and, once its dialog is up, hands the dialog to `act`.
  static void WithDialog(TCompressor& window, const char* button, const char* dialog,
                         const std::function<void(QFileDialog&)>& act) {
    QFileDialog* file_dialog = Child<QFileDialog>(window, dialog);
    QTimer poll;
    poll.setInterval(10);
    int seen = 0;  // ticks the dialog has been up: act once its own loop runs
    QObject::connect(&poll, &QTimer::timeout, file_dialog, [&poll, &seen, file_dialog, act] {
      if (!file_dialog->isVisible() || ++seen < 3) return;
      poll.stop();
      act(*file_dialog);
    });
    poll.start();
    QTest::mouseClick(Child<QToolButton>(window, button), Qt::LeftButton);
    QVERIFY(!file_dialog->isVisible());
  }
  // The dialog's file name box.
  static QLineEdit* NameBox(QFileDialog& dialog) {
    return dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  }
  // Types `name` into the dialog's name box and confirms, as a user would.
  static void Confirm(QFileDialog& dialog, const QString& name) {
    NameBox(dialog)->setText(name);
    static_cast<QDialog&>(dialog).accept();  // QFileDialog::accept, which checks the name
  }
  void Compress(TCompressor& window, const QString& source, const QString& target) {
    Child<QLineEdit>(window, "Edit1")->setText(source);
    Child<QLineEdit>(window, "Edit2")->setText(target);
    QTest::mouseClick(Child<QPushButton>(window, "CompressBtn"), Qt::LeftButton);
  }

  QTemporaryDir folder_;

 private slots:
  void WindowAsDesigned() {
    TCompressor window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("Velmar HTML Compressor"));
    QCOMPARE(window.size(), QSize(305, 130));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(Child<QLabel>(window, "Label1")->text(), QStringLiteral("Source File:"));
    QCOMPARE(Child<QLabel>(window, "Label2")->text(), QStringLiteral("Target File:"));
    QCOMPARE(Status(window), QStringLiteral("Please select input- and output file!"));
    auto* button = Child<QPushButton>(window, "CompressBtn");
    QCOMPARE(button->text(), QStringLiteral("Com&press"));
    QCOMPARE(button->geometry(), QRect(106, 106, 85, 23));
    QCOMPARE(Child<QLineEdit>(window, "Edit1")->geometry(), QRect(8, 24, 265, 21));
    QCOMPARE(Child<QToolButton>(window, "SpeedButton2")->geometry(), QRect(280, 64, 23, 22));
    QVERIFY(!window.windowIcon().isNull());
    QVERIFY(!button->icon().isNull());
    const struct {
      const char* name;
      const char* help;
    } picture_buttons[] = {{"SpeedButton1", "Choose the source file"},
                           {"SpeedButton2", "Choose the target file"}};
    for (const auto& [name, help] : picture_buttons) {
      auto* picture = Child<QToolButton>(window, name);
      QCOMPARE(picture->focusPolicy(), Qt::NoFocus);
      QVERIFY(picture->autoRaise());
      QCOMPARE(picture->toolTip(), QLatin1String(help));
      QCOMPARE(picture->accessibleName(), QLatin1String(help));
      // Drawn at 16 pixels and at 32 for screens of twice the density.
      QCOMPARE(picture->icon().availableSizes(), QList<QSize>({QSize(16, 16), QSize(32, 32)}));
    }
    QCOMPARE(button->icon().availableSizes(), QList<QSize>({QSize(16, 16), QSize(32, 32)}));
    QCOMPARE(QApplication::focusWidget(), Child<QLineEdit>(window, "Edit1"));
    // Tab order: CompressBtn, Edit1, Edit2, and round again.
    button->setFocus();
    QTest::keyClick(&window, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Child<QLineEdit>(window, "Edit1"));
    QTest::keyClick(&window, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Child<QLineEdit>(window, "Edit2"));
    QTest::keyClick(&window, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(button));
  }

  void DialogsAsDesigned() {
    TCompressor window;
    const QStringList open = Child<QFileDialog>(window, "OpenHTMLDialog")->nameFilters();
    const QStringList save = Child<QFileDialog>(window, "SaveDialog1")->nameFilters();
    QCOMPARE(open.size(), 2);
    QVERIFY(open[0].startsWith(
        QStringLiteral("HTML files (*.html *.htm *.shtml *.chtml *.asp "
                       "*.cfm *.dhtml *.dhtm *.phtml *.phtm *.ephtml *.ephtm)")));
    QVERIFY(save[0].startsWith(QStringLiteral("HTML files (*.htm *.html ")));
    QVERIFY(open[1].startsWith(QStringLiteral("All files (*.*)")));
    for (const char* name : {"OpenHTMLDialog", "SaveDialog1"}) {
      auto* dialog = Child<QFileDialog>(window, name);
      QCOMPARE(dialog->defaultSuffix(), QStringLiteral("htm"));
      QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
      QVERIFY(dialog->testOption(QFileDialog::HideNameFilterDetails));
      QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
      // What the user reads in the filter box.
      auto* shown = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      QVERIFY(shown != nullptr);
      QCOMPARE(shown->count(), 2);
      QCOMPARE(shown->itemText(0), QStringLiteral("HTML files"));
      QCOMPARE(shown->itemText(1), QStringLiteral("All files (*.*)"));
    }
    QVERIFY(
        Child<QFileDialog>(window, "SaveDialog1")->testOption(QFileDialog::DontConfirmOverwrite));
  }

  void EmptyBoxChangesNothing_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("target");
    QTest::newRow("both empty") << ""
                                << "";
    QTest::newRow("no target") << "in.html"
                               << "";
    QTest::newRow("no source") << ""
                               << "out.html";
  }
  void EmptyBoxChangesNothing() {
    QFETCH(QString, source);
    QFETCH(QString, target);
    WriteFile(folder_.filePath("in.html"), "a  b");
    TCompressor window;
    Compress(window, source.isEmpty() ? source : folder_.filePath(source),
             target.isEmpty() ? target : folder_.filePath(target));
    QCOMPARE(Status(window), QStringLiteral("Please select input- and output file!"));
    QVERIFY(!QFile::exists(folder_.filePath("out.html")));
  }

  void GoodRunWritesTheTarget() {
    WriteFile(folder_.filePath("page.html"),
              "<p align=\"center\">\r\n  <strong>Hi</strong></p>\r\n");
    TCompressor window;
    Compress(window, folder_.filePath("page.html"), folder_.filePath("page.min.html"));
    QCOMPARE(Status(window), QStringLiteral("Compressing done..."));
    QCOMPARE(ReadFile(folder_.filePath("page.min.html")),
             QByteArray("<center> <b>Hi</b></center>"));
    // The status line's tooltip gives the saving; its text stays as it was.
    QCOMPARE(Child<QLabel>(window, "Label3")->toolTip(), QStringLiteral("47 -> 27 bytes, -42.6%"));
  }

  void OpenWithFillsBothBoxes_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("target");
    QTest::newRow("html") << "page.html"
                          << "page.min.html";
    QTest::newRow("two dots") << "my.page.htm"
                              << "my.page.min.htm";
    QTest::newRow("no extension") << "README"
                                  << "README.min.html";
  }
  void OpenWithFillsBothBoxes() {
    QFETCH(QString, file);
    QFETCH(QString, target);
    TCompressor window;
    window.OpenWith(folder_.filePath(file));
    QCOMPARE(Child<QLineEdit>(window, "Edit1")->text(),
             QDir::toNativeSeparators(folder_.filePath(file)));
    QCOMPARE(Child<QLineEdit>(window, "Edit2")->text(),
             QDir::toNativeSeparators(folder_.filePath(target)));
  }

  void AltPPressesTheButtonFromAnyBox() {
    WriteFile(folder_.filePath("alt.html"), "a   b");
    TCompressor window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto* button = Child<QPushButton>(window, "CompressBtn");
    Child<QLineEdit>(window, "Edit1")->setText(folder_.filePath("alt.html"));
    Child<QLineEdit>(window, "Edit2")->setText(folder_.filePath("alt.min.html"));
    Child<QLineEdit>(window, "Edit2")->setFocus();
    QCOMPARE(button->shortcut(), QKeySequence(QStringLiteral("Alt+P")));  // from "Com&press"
    QTest::keyClick(Child<QLineEdit>(window, "Edit2"), Qt::Key_P, Qt::AltModifier);
    // A button pressed by its shortcut shows itself down, then clicks.
    QTRY_COMPARE(Status(window), QStringLiteral("Compressing done..."));
    QCOMPARE(ReadFile(folder_.filePath("alt.min.html")), QByteArray("a b"));
    QCOMPARE(QApplication::focusWidget(), Child<QLineEdit>(window, "Edit2"));
  }

  void EnterAndEscapeDoNothing() {
    WriteFile(folder_.filePath("keys.html"), "x");
    TCompressor window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    Child<QLineEdit>(window, "Edit1")->setText(folder_.filePath("keys.html"));
    Child<QLineEdit>(window, "Edit2")->setText(folder_.filePath("keys.min.html"));
    for (QWidget* widget : {static_cast<QWidget*>(Child<QLineEdit>(window, "Edit1")),
                            static_cast<QWidget*>(Child<QLineEdit>(window, "Edit2"))}) {
      widget->setFocus();
      QTest::keyClick(widget, Qt::Key_Return);
      QTest::keyClick(widget, Qt::Key_Escape);
    }
    QVERIFY(window.isVisible());
    QVERIFY(!QFile::exists(folder_.filePath("keys.min.html")));
  }

  void FailuresSayWhatFailed() {
    WriteFile(folder_.filePath("ok.html"), "x");
    WriteFile(folder_.filePath("empty.html"), "");
    TCompressor window;
    Compress(window, folder_.filePath("missing.html"), folder_.filePath("t1.html"));
    QCOMPARE(Status(window), QStringLiteral("Source file could not be read!"));
    QVERIFY(!QFile::exists(folder_.filePath("t1.html")));

    Compress(window, folder_.filePath("ok.html"), folder_.filePath("nowhere/t2.html"));
    QCOMPARE(Status(window), QStringLiteral("Target file could not be written!"));

    Compress(window, folder_.filePath("empty.html"), folder_.filePath("t3.html"));
    QCOMPARE(Status(window), QStringLiteral("Compressing done..."));
    QCOMPARE(ReadFile(folder_.filePath("t3.html")), QByteArray());
  }

  void DialogsFillTheirBoxAndRememberTheirName() {
    const QString chosen = folder_.filePath("chosen.html");
    TCompressor window;
    auto* edit1 = Child<QLineEdit>(window, "Edit1");
    edit1->setText(QStringLiteral("typed.html"));
    WithDialog(window, "SpeedButton1", "OpenHTMLDialog", [](QFileDialog& d) { d.reject(); });
    QCOMPARE(edit1->text(), QStringLiteral("typed.html"));

    WithDialog(window, "SpeedButton1", "OpenHTMLDialog",
               [&](QFileDialog& d) { Confirm(d, chosen); });
    QCOMPARE(edit1->text(), QDir::toNativeSeparators(chosen));

    // Opened again after the box was typed over: the dialog shows its own
    // last confirmed name.
    edit1->setText(QStringLiteral("other.html"));
    QString shown;
    WithDialog(window, "SpeedButton1", "OpenHTMLDialog", [&](QFileDialog& d) {
      shown = QDir(d.directory()).filePath(NameBox(d)->text());
      d.reject();
    });
    QCOMPARE(shown, chosen);
    QCOMPARE(edit1->text(), QStringLiteral("other.html"));

    auto* edit2 = Child<QLineEdit>(window, "Edit2");
    WithDialog(window, "SpeedButton2", "SaveDialog1",
               [&](QFileDialog& d) { Confirm(d, folder_.filePath("out")); });
    QCOMPARE(edit2->text(), QDir::toNativeSeparators(folder_.filePath("out.htm")));
  }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
