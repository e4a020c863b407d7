// Makes the pictures of what a user sees: the window after a run over three images (the middle one
// broken), the window during a run with its progress panel, the viewer on a real TR-DOS image, and the
// window started with two images on its command line, and the question a run asks before it replaces a file,
// with Qt's own buttons in the window's language; then a batch of twenty images of which five fail: the
// first failure's box with its check box ticked, and the window after the run with a failed row's tool tip
// and the summary in the status bar.
// Given a single-sided disk as well, the viewer on it: a row per track it has, sector numbers of three digits.
// Usage: tarvex_screenshots OUTPUT_DIR FIRST.trd SECOND.trd [SINGLE_SIDED_IMAGE]
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolTip>
#include <cstdio>
#include <cstdlib>

#include "gui/dialogs.h"
#include "gui/image_viewer.h"
#include "gui/main_window.h"
#include "gui/gui_text.h"
#include "gui/qt_translations.h"
#include "i18n/locale_setup.h"

namespace {

using tarvex::gui::DialogService;

// Answers every question with Yes and every message with OK.
class YesDialogs : public DialogService {
public:
    bool AskYesNo(QWidget*, const QString&, const QString&) override { return true; }
    void ShowMessage(QWidget*, const QString&, const QString&) override {}
    bool ShowFileFailure(QWidget*, const QString&, const QString&, const QString&) override { return false; }
    QStringList OpenFiles(QWidget*, const QString&, const QString&, const QString&) override { return files; }
    QString PickFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QStringList files;
};

// Takes a picture of itself the first time the run lets events through.
class PictureWindow : public tarvex::gui::TFMain {
public:
    PictureWindow(tarvex::gui::WindowOptions options, QString picture)
        : TFMain(std::move(options)), picture_(std::move(picture)) {}
    void PumpEvents() override {
        TFMain::PumpEvents();
        if (picture_.isEmpty()) return;
        grab().save(picture_);
        picture_.clear();
    }

private:
    QString picture_;
};

// What the screen shows over the window, boxes and tool tips included (they are windows of their own).
bool SaveScreen(QWidget& window, const QString& file) {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    QRect area = window.frameGeometry();
    for (const QWidget* shown : QApplication::topLevelWidgets())
        if (shown->isVisible() && shown->windowType() == Qt::ToolTip) area |= shown->frameGeometry();
    if (QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(file)) {
        std::printf("%s\n", qPrintable(file));
        return true;
    }
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
}

// Shows the desktop's box for the first failure, takes its picture with the check box ticked, and so asks
// for no more.
class FailureBoxPicture : public YesDialogs {
public:
    bool ShowFileFailure(QWidget* parent, const QString& text, const QString& caption, const QString& file) override {
        const auto box = tarvex::gui::MakeFailureBox(parent, text, caption, file);
        box->checkBox()->setChecked(true);
        box->show();
        saved = SaveScreen(*parent->window(), picture);
        return true;
    }
    QString picture;
    bool saved = false;
};

bool Save(QWidget& widget, const QString& file) {
    QApplication::processEvents();
    if (widget.grab().save(file)) {
        std::printf("%s\n", qPrintable(file));
        return true;
    }
    std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tarvex::UseUserLocale();
    tarvex::gui::InstallWindowLanguage(app);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR FIRST.trd SECOND.trd\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", work.filePath("config").toLocal8Bit());  // leave the user's settings alone

    // The three sources: two real disks and, between them, one too long to be a TRD image.
    QDir(work.path()).mkpath("images");
    const QString images = work.filePath("images") + "/";
    const QString first = images + QFileInfo(argv[2]).fileName();
    const QString broken = images + "broken-disk.trd";
    const QString third = images + QFileInfo(argv[3]).fileName();
    QFile::copy(QString::fromLocal8Bit(argv[2]), first);
    QFile::copy(QString::fromLocal8Bit(argv[3]), third);
    QFile junk(broken);
    if (!junk.open(QIODevice::WriteOnly)) return 1;
    junk.write(QByteArray(167 * 4096, '\xE5'));
    junk.close();

    YesDialogs dialogs;
    dialogs.files = {first, broken, third};
    tarvex::gui::WindowOptions options;
    options.dialogs = &dialogs;
    options.programFolder = (work.path() + "/program/").toStdString();
    QDir().mkpath(work.filePath("program"));
    PictureWindow window(options, out + "/window-during-run.png");
    window.show();
    QApplication::processEvents();
    window.ToolButton1Click();
    window.cb->setCurrentIndex(1);  // TRD
    window.cb2->setChecked(true);
    window.ToolButton3Click();
    window.lv->selectRow(0);
    bool ok = Save(window, out + "/window-after-run.png");

    tarvex::gui::InspectorDialog inspector(first.toStdString(), &window);
    inspector.show();
    ok = Save(inspector, out + "/inspector.png") && ok;
    inspector.ShowDisabledSectors()->setChecked(true);
    inspector.MapView()->verticalScrollBar()->setValue(inspector.MapView()->verticalScrollBar()->maximum());
    ok = Save(inspector, out + "/inspector-disabled-sectors-end.png") && ok;
    inspector.close();
    if (argc > 4) {
        tarvex::gui::InspectorDialog singleSided(QString::fromLocal8Bit(argv[4]).toStdString(), &window);
        singleSided.show();
        ok = Save(singleSided, out + "/inspector-single-sided.png") && ok;
    }

    // Started as the file manager's "Open with" starts it: the two disks named on its command line.
    tarvex::gui::WindowOptions opened = options;
    opened.files = {first, third};
    tarvex::gui::TFMain started(opened);
    started.show();
    QApplication::processEvents();
    ok = Save(started, out + "/window-started-with-files.png") && ok;

    const std::string existing = QFileInfo(first).completeBaseName().toStdString() + ".trd";
    const auto question = tarvex::gui::MakeQuestionBox(
        &started, QString::fromStdString(tarvex::Fill(tarvex::Tr("File %s already exists! Overwrite it?"), {existing})),
        tarvex::gui::QTrIn("overwrite question", "Warning!"));
    question->show();
    ok = Save(*question, out + "/question-replace-file.png") && ok;
    started.close();

    // Twenty images, five of which fail: three too long, one gone, one whose output name a folder holds.
    QDir(work.path()).mkpath("batch");
    QStringList batch;
    for (int i = 1; i <= 20; ++i) {
        const QString name = work.filePath(QString("batch/disk%1.trd").arg(i, 2, 10, QChar('0')));
        if (i == 4 || i == 9 || i == 17) {
            QFile::copy(broken, name);
        } else if (i != 6) {
            QFile::copy(i % 2 ? first : third, name);
        }
        batch << name;
    }
    QDir(work.path()).mkpath("batch-out/disk13.trd");
    FailureBoxPicture failures;
    failures.files = batch;
    failures.picture = out + "/batch-failure-box.png";
    tarvex::gui::WindowOptions batchOptions = options;
    batchOptions.dialogs = &failures;
    tarvex::gui::TFMain batchWindow(batchOptions);
    batchWindow.show();
    QApplication::processEvents();
    batchWindow.ToolButton1Click();
    batchWindow.cb->setCurrentIndex(1);  // TRD
    batchWindow.afl1->setText(work.filePath("batch-out"));
    batchWindow.ToolButton3Click();
    ok = failures.saved && ok;
    batchWindow.lv->clearSelection();
    QTableWidgetItem* failed = batchWindow.lv->item(3, 2);
    const QRect cell = batchWindow.lv->visualItemRect(failed);
    QToolTip::showText(batchWindow.lv->viewport()->mapToGlobal(cell.center()), failed->toolTip(), batchWindow.lv);
    ok = SaveScreen(batchWindow, out + "/batch-after-run.png") && ok;
    return ok ? 0 : 1;
}
