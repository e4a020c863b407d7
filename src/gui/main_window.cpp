#include "gui/main_window.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMimeData>
#include <QScreen>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QStyle>
#include <QTimer>
#include <cstdio>
#include <utility>

#include "app/format_table.h"
#include "app/shared_texts.h"
#include "disk/zx_disk.h"
#include "gui/gui_text.h"
#include "gui/image_viewer.h"
#include "gui/program_folder.h"

namespace tarvex::gui {

namespace {

constexpr int kWindowWidth = 919, kWindowHeight = 441;
constexpr int kMinWidth = 760, kMinHeight = 400;
constexpr int kToolBarHeight = 48, kToolButtonSize = 40, kToolImageSize = 32;
constexpr int kBottomPanelHeight = 45, kStatusBarHeight = 20, kStatusPanelWidth = 600;
constexpr int kProgressWidth = 377, kProgressHeight = 77;
constexpr int kNumberColumnWidth = 50, kFileColumnWidth = 594, kResultColumnWidth = 100;
constexpr int kFileColumnMargin = 172;  // the list's width less the other two columns and its frame

const char* const kCaption = "Tarvex 2014  v0.02";
const char* const kError = TrMark("Error!");

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// The extension of the file-name part from its last dot on, lower-cased; "" without a dot.
QString LowerExtension(const QString& path) {
    const QString name = Q(FileNamePart(S(path)));
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot).toLower();
}

bool AcceptedExtension(const QString& ext) {
    for (const FormatInfo& f : Formats())
        if (f.Present() && ext == QLatin1String(f.extension)) return true;
    return false;
}

// A file is listed when its extension names a format or its first bytes carry a format's signature.
bool RecognisedFile(const QString& path) {
    return AcceptedExtension(LowerExtension(path)) || FormatOfContent(S(path)).has_value();
}

// The folder part of a path with a trailing separator.
std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

QStringList FormatSelectorItems() {
    return {
        QTr("Universal disk image (*.udi)"),    QTr("TR-DOS disk image (*.trd)"),
        QTr("TeleDisk disk image (*.td0)"),     QTr("Full disk image (*.fdi)"),
        QTr("CP/M Profi sector image (*.pro)"), QTr("Compact TR-DOS disk image (*.scl)"),
        QTr("Korvet disk image (*.kdi)"),       QTr("HxC floppy image (*.hfe)"),
        QTr("Amstrad CPC / Spectrum +3 disk image (*.dsk)"),
    };
}

// Each format that can be read, by its name and pattern in the selector's order, then all patterns at once,
// then every file (a renamed image is added by its content).
QString AddDialogFilter() {
    const QStringList names = FormatSelectorItems();
    QString filter;
    for (int i = 0; i < kFormatCount; ++i)
        if (Formats()[i].Present()) filter += names[i] + "|*" + QLatin1String(Formats()[i].extension) + "|";
    return filter + QTr("Supported formats (%1)").arg("*.udi,*.trd,*.td0,*.fdi,*.pro,*.scl,*.kdi,*.hfe,*.dsk") +
           "|*.fdi;*.trd;*.udi;*.td0;*.pro;*.scl;*.kdi;*.hfe;*.dsk|" + QTr("All files") + "|*";
}

TFMain::TFMain(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      ownDialogs_(options.dialogs ? nullptr : std::make_unique<QtDialogService>()),
      dialogs_(options.dialogs ? options.dialogs : ownDialogs_.get()),
      programFolder_(options.programFolder.empty() ? gui::ProgramFolder() : options.programFolder),
      driver_(zxd, *this, options.clock),
      startupFiles_(std::move(options.files)) {
    asd.DataStore.Section = "Data";
    asd.DataStore.Registry.Rootkey = hkeyLocalMachine;
    asd.DataStore.Registry.SetPath("\\Software\\Morvane\\Tarvex");
    asd.DataStore.Inifile.IniFilename = "MyFile.ini";

    auto* central = new QWidget(this);
    setCentralWidget(central);
    BuildToolBar();
    BuildList();
    BuildBottomPanel();
    BuildProgressPanel();

    STB1 = new QStatusBar(this);
    STB1->setObjectName("STB1");
    STB1->setFixedHeight(kStatusBarHeight);
    STB1->setSizeGripEnabled(false);
    STB1Panel = new QLabel(STB1);
    STB1Panel->setFixedWidth(kStatusPanelWidth);
    STB1->addWidget(STB1Panel);
    setStatusBar(STB1);

    zxdView = new SectorMapView(zxd, central);
    zxdView->setObjectName("zxd");
    zxdView->resize(320, 120);
    zxdView->hide();

    resize(kWindowWidth, kWindowHeight);
    setMinimumSize(kMinWidth, kMinHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(kWindowWidth / 2, kWindowHeight / 2));
    FormCreate();
}

TFMain::~TFMain() {
    delete zxdView;  // it watches zxd, which goes before the window's children do
}

void TFMain::BuildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(kToolBarHeight);
    ToolBar1->setIconSize({kToolImageSize, kToolImageSize});
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto button = [this](const char* name, const char* icon, const char* hint, void (TFMain::*handler)()) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(name);
        b->setIcon(QIcon(QString(":/icons/") + icon));
        b->setIconSize({kToolImageSize, kToolImageSize});
        b->setFixedSize(kToolButtonSize, kToolButtonSize);
        b->setAutoRaise(true);
        b->setToolTip(QTr(hint));
        connect(b, &QToolButton::clicked, this, handler);
        return b;
    };
    ToolButton1 = button("ToolButton1", "add.svg", TrMark("Add files to the list"), &TFMain::ToolButton1Click);
    ToolButton2 = button("ToolButton2", "remove.svg", TrMark("Remove files from the list"), &TFMain::ToolButton2Click);
    ToolButton3 = button("ToolButton3", "convert.svg", TrMark("Convert"), &TFMain::ToolButton3Click);
    ToolButtonInspect =
        button("ToolButtonInspect", "magnifier.svg", TrMark("View image"), &TFMain::ToolButtonInspectClick);
    ToolButton4 = button("ToolButton4", "exit.svg", TrMark("Exit"), &TFMain::ToolButton4Click);
    const QList<QToolButton*> order = {ToolButton1, ToolButton2, ToolButton3, ToolButtonInspect, ToolButton4};
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (i > 0) ToolBar1->addSeparator();
        ToolBar1->addWidget(order[i]);
    }
    ToolButton2->setEnabled(false);
    ToolButton3->setEnabled(false);
    ToolButtonInspect->setEnabled(false);
}

void TFMain::BuildList() {
    lv = new QTableWidget(0, 3, centralWidget());
    lv->setObjectName("lv");
    lv->setHorizontalHeaderLabels({QTr("N"), QTr("Filename"), QTr("Result")});
    lv->verticalHeader()->hide();
    lv->verticalHeader()->setDefaultSectionSize(lv->fontMetrics().height() + 4);
    lv->setShowGrid(true);
    lv->setSelectionBehavior(QAbstractItemView::SelectRows);
    lv->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv->setWordWrap(false);
    lv->setTextElideMode(Qt::ElideMiddle);
    // The header neither sorts nor sizes: columns are not clicked, resized or moved.
    QHeaderView* header = lv->horizontalHeader();
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setHighlightSections(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setStretchLastSection(false);
    lv->installEventFilter(this);
    connect(lv, &QTableWidget::itemSelectionChanged, this, &TFMain::lvClick);
    connect(lv, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { InspectRow(row); });
}

void TFMain::BuildBottomPanel() {
    Panel2 = new QWidget(centralWidget());
    Panel2->setObjectName("Panel2");
    Panel2->setFixedHeight(kBottomPanelHeight);
    Label1 = new QLabel(QTr("Convert to"), Panel2);
    Label1->setObjectName("Label1");
    cb = new QComboBox(Panel2);
    cb->setObjectName("cb");
    cb->setEditable(false);
    cb1 = new QCheckBox(QTr("Save to"), Panel2);
    cb1->setObjectName("cb1");
    cb1->setChecked(true);
    afl1 = new TTynLookupEdit(Panel2);
    afl1->setObjectName("afl1");
    cb2 = new QCheckBox(QTr("Keep a log"), Panel2);
    cb2->setObjectName("cb2");
    cb2->setChecked(false);
    Panel2->installEventFilter(this);

    connect(cb, &QComboBox::activated, this, &TFMain::cbChange);
    connect(cb1, &QCheckBox::toggled, this, &TFMain::cb1Click);
    connect(cb2, &QCheckBox::toggled, this, &TFMain::cb2Click);
    connect(afl1, &TTynLookupEdit::Button1Click, this, &TFMain::afl1Button1Click);
    // The field is often too narrow for the whole folder.
    connect(afl1->Edit(), &QLineEdit::textChanged, afl1->Edit(), &QWidget::setToolTip);

    auto* layout = new QVBoxLayout(centralWidget());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(lv, 1);
    layout->addWidget(Panel2);
}

void TFMain::BuildProgressPanel() {
    p = new QFrame(centralWidget());
    p->setObjectName("p");
    p->setFrameStyle(QFrame::Panel | QFrame::Raised);
    p->setLineWidth(2);
    p->setAutoFillBackground(true);
    p->setFixedSize(kProgressWidth, kProgressHeight);
    Label3 = new QLabel(QTr("Processed:"), p);
    Label3->setObjectName("Label3");
    Label3->move(16, 14);
    Label3->adjustSize();
    l1 = new QLabel("0 / 0", p);
    l1->setObjectName("l1");
    l1->setGeometry(Label3->x() + Label3->width() + 8, 14, 120, Label3->height());
    BitBtn1 = new QPushButton(QIcon(":/icons/stop.svg"), QTr("Stop"), p);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->adjustSize();
    BitBtn1->move(kProgressWidth - 16 - BitBtn1->width(), 8);
    pg = new QProgressBar(p);
    pg->setObjectName("pg");
    pg->setRange(0, 100);
    pg->setValue(0);
    pg->setTextVisible(false);
    pg->setGeometry(16, 46, kProgressWidth - 32, 18);
    connect(BitBtn1, &QPushButton::clicked, this, &TFMain::BitBtn1Click);
    p->hide();
}

// ---- lifecycle ----

void TFMain::FormCreate() {
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(":/icons/convert.svg"));
    setAcceptDrops(true);
    driver_.Busy = false;
}

void TFMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

std::string TFMain::SettingString(const char* key, const std::string& fallback) {
    try {
        return asd.ReadString(key, "");
    } catch (const std::exception&) {
        return fallback;
    }
}

bool TFMain::SettingBool(const char* key, bool fallback) {
    try {
        return asd.ReadBool(key, false);
    } catch (const std::exception&) {
        return fallback;
    }
}

int TFMain::SettingInteger(const char* key, int fallback) {
    try {
        return asd.ReadInteger(key, 0);
    } catch (const std::exception&) {
        return fallback;
    }
}

// A store that cannot be written loses the setting; the window goes on.
template <typename Write>
void TFMain::SaveSetting(Write&& write) {
    try {
        write();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvex: %s\n", Fill(Tr("settings not saved: %s"), {e.what()}).c_str());
    }
}

void TFMain::FormShow() {
    lv->setColumnWidth(0, kNumberColumnWidth);
    lv->setColumnWidth(1, kFileColumnWidth);
    lv->setColumnWidth(2, kResultColumnWidth);
    cb->clear();
    cb->addItems(FormatSelectorItems());
    if (auto* items = qobject_cast<QStandardItemModel*>(cb->model()))
        for (int i = 0; i < cb->count() && i < kFormatCount; ++i) items->item(i)->setEnabled(Formats()[i].Present());
    cb->setCurrentIndex(0);

    ImageDirectory = SettingString("ImageDirectory", "");
    if (ImageDirectory.empty()) {
        ImageDirectory = programFolder_ + "DiskImage";
        SaveSetting([&] { asd.WriteString("ImageDirectory", ImageDirectory); });
    }
    afl1->setText(Q(ImageDirectory));

    LastDirectory = SettingString("LastDirectory", "");
    if (LastDirectory.empty()) {
        LastDirectory = programFolder_ + "DiskImage";
        SaveSetting([&] { asd.WriteString("LastDirectory", LastDirectory); });
    }

    SamePath = SettingBool("SamePath", false);
    if (!SamePath) SaveSetting([&] { asd.WriteBool("SamePath", false); });
    cb1->setChecked(!SamePath);
    afl1->setEnabled(cb1->isChecked());

    cb2->setChecked(SettingBool("LOG", false));
    if (!cb2->isChecked()) SaveSetting([&] { asd.WriteBool("LOG", false); });

    const int type = SettingInteger("Type", 0);
    // A hand-edited value outside the formats (or naming one that cannot be written) selects the first, so
    // a run always has a target.
    cb->setCurrentIndex(type >= 0 && type < kFormatCount && Formats()[type].Present() ? type : 0);
    if (cb->currentIndex() == 0) SaveSetting([&] { asd.WriteInteger("Type", 0); });

    driver_.SetLogFileName(programFolder_ + "log.txt");
    ShowFileCount();
    FormResize();
    OpenStartupFiles();
}

// Files named when the program starts (an "Open with" or a double-click in the file manager) are added as
// if chosen in the add dialog, once the window is on the screen so that its message boxes have an owner.
void TFMain::OpenStartupFiles() {
    if (startupFiles_.isEmpty()) return;
    QStringList files;
    for (const QString& file : std::as_const(startupFiles_)) files << QFileInfo(file).absoluteFilePath();
    startupFiles_.clear();
    QTimer::singleShot(0, this, [this, files] {
        if (!driver_.Busy) AddChosenFiles(files);
    });
}

void TFMain::FormResize() {
    const int margin = 8;
    const int height = Panel2->height();
    auto centre = [height](QWidget* w, int x, int width) {
        const int h = w->sizeHint().height();
        w->setGeometry(x, (height - h) / 2, width, h);
    };
    centre(Label1, margin, Label1->sizeHint().width());
    centre(cb, Label1->geometry().right() + 7, cb->sizeHint().width());
    centre(cb1, cb->geometry().right() + 13, cb1->sizeHint().width());
    const int aflLeft = cb1->geometry().right() + 5;
    const int cb2Width = cb2->sizeHint().width();
    const int aflWidth = Panel2->width() - aflLeft - cb2Width - 16;
    centre(afl1, aflLeft, std::max(aflWidth, 40));
    centre(cb2, aflLeft + std::max(aflWidth, 40) + margin, cb2Width);
    FitFileColumn();
}

void TFMain::FitFileColumn() {
    lv->setColumnWidth(1, std::max(kNumberColumnWidth, lv->width() - kFileColumnMargin));
}

// The list and the bottom panel get their new sizes one after the other, in either order: each fits
// what depends on its own size when it has it.
bool TFMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize) {
        if (watched == Panel2) FormResize();
        if (watched == lv) FitFileColumn();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFMain::closeEvent(QCloseEvent* event) {
    if (driver_.Busy) {
        // Remembered: the run goes on to its end and the window closes after it.
        closeRequestedDuringRun_ = true;
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

// ---- the list ----

bool TFMain::IsInList(const QString& fileName) const {
    const std::string name = FileNamePart(S(fileName));
    for (int row = 0; row < lv->rowCount(); ++row)
        if (const QTableWidgetItem* item = lv->item(row, 1); item && FileNamePart(S(item->text())) == name)
            return true;
    return false;
}

bool TFMain::AddFile(const QString& name) {
    if (!RecognisedFile(name)) {
        dialogs_->ShowMessage(this, QTr("Unsupported file type."), QTr(kError));
        return false;
    }
    if (IsInList(name)) {
        dialogs_->ShowMessage(this, Q(texts::AlreadyListed(FileNamePart(S(name)))),
                              QTr(kError));
        return false;
    }
    const int row = lv->rowCount();
    lv->insertRow(row);
    lv->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
    lv->setItem(row, 1, new QTableWidgetItem(name));
    lv->setItem(row, 2, new QTableWidgetItem("..."));
    return true;
}

void TFMain::ShowFileCount() { STB1Panel->setText(QTr("Files in the list: %1").arg(lv->rowCount())); }

void TFMain::UpdateConvertButton() { ToolButton3->setEnabled(lv->rowCount() > 0); }

void TFMain::UpdateInspectButton() {
    ToolButtonInspect->setEnabled(lv->selectionModel() && lv->selectionModel()->hasSelection());
}

void TFMain::ToolButton1Click() {
    if (driver_.Busy) return;
    AddChosenFiles(dialogs_->OpenFiles(this, QTr("Add files"), Q(LastDirectory), AddDialogFilter()));
}

void TFMain::AddChosenFiles(const QStringList& files) {
    for (const QString& file : files)
        if (AddFile(file)) LastDirectory = FolderOf(S(file));
    ShowFileCount();
    UpdateConvertButton();
    SaveSetting([&] { asd.WriteString("LastDirectory", LastDirectory); });
}

void TFMain::WMDropFiles(const QStringList& files, QPoint dropPoint) {
    if (driver_.Busy) return;
    if (!rect().contains(dropPoint)) return;
    for (const QString& file : files) AddFile(file);
    ShowFileCount();
    UpdateConvertButton();
}

void TFMain::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFMain::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFMain::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) files << url.toLocalFile();
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    WMDropFiles(files, event->position().toPoint());
}

void TFMain::ToolButton2Click() {
    if (driver_.Busy) return;
    if (dialogs_->AskYesNo(this, QTr("Remove the selected files from the list?"), QTr("Are you sure?"))) {
        int row = 0;
        while (row < lv->rowCount()) {
            if (lv->selectionModel()->isRowSelected(row, QModelIndex())) {
                lv->removeRow(row);
            } else {
                lv->item(row, 0)->setText(QString::number(row + 1));
                ++row;
            }
        }
    }
    ShowFileCount();
    const bool rows = lv->rowCount() > 0;
    ToolButton3->setEnabled(rows);
    ToolButton2->setEnabled(rows);
    UpdateInspectButton();
}

void TFMain::lvClick() {
    ToolButton2->setEnabled(lv->selectionModel()->hasSelection());
    UpdateInspectButton();
}

void TFMain::ToolButton4Click() {
    if (!driver_.Busy) close();
}

// ---- options ----

void TFMain::afl1Button1Click() {
    if (driver_.Busy) return;
    const QString folder = dialogs_->PickFolder(this, QTr("Choose the folder to save images in."), afl1->text());
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) return;
    afl1->setText(folder);
    SaveSetting([&] { asd.WriteString("ImageDirectory", S(afl1->text())); });
}

void TFMain::cb1Click() {
    if (driver_.Busy) return;
    afl1->setEnabled(cb1->isChecked());
    SaveSetting([&] { asd.WriteBool("SamePath", !cb1->isChecked()); });
}

void TFMain::cb2Click() {
    SaveSetting([&] { asd.WriteBool("LOG", cb2->isChecked()); });
}

void TFMain::cbChange() {
    SaveSetting([&] { asd.WriteInteger("Type", cb->currentIndex()); });
}

// ---- the run ----

void TFMain::ToolButton3Click() {
    if (driver_.Busy) return;
    driver_.ToolButton3Click();
    if (closeRequestedDuringRun_) {
        closeRequestedDuringRun_ = false;
        close();
    }
}

void TFMain::BitBtn1Click() { driver_.BitBtn1Click(); }

bool TFMain::AskYesNo(const std::string& text, const std::string& caption) {
    return dialogs_->AskYesNo(this, Q(text), Q(caption));
}

void TFMain::ShowMessage(const std::string& text, const std::string& caption) {
    dialogs_->ShowMessage(this, Q(text), Q(caption));
}

void TFMain::PumpEvents() { QCoreApplication::processEvents(); }

void TFMain::ShowProgress() {
    const QRect list = lv->geometry();
    const int left = list.left() + static_cast<int>(RoundHalfEven(list.width() - p->width(), 2));
    const int top = list.top() + static_cast<int>(RoundHalfEven(list.height() - p->height(), 2));
    p->move(left, top);
    p->show();
    p->raise();
}

void TFMain::HideProgress() { p->hide(); }

void TFMain::SetProgress(int position, const std::string& counter) {
    pg->setValue(position);
    l1->setText(Q(counter));
    p->repaint();
}

void TFMain::SetFormatSelectorEnabled(bool enabled) { cb->setEnabled(enabled); }

void TFMain::SetRowResult(size_t row, const std::string& text) {
    if (QTableWidgetItem* item = lv->item(static_cast<int>(row), 2)) item->setText(Q(text));
}

size_t TFMain::RowCount() { return static_cast<size_t>(lv->rowCount()); }

std::vector<std::string> TFMain::RowCells(size_t row) {
    std::vector<std::string> cells;
    for (int column = 1; column < lv->columnCount(); ++column)
        if (const QTableWidgetItem* item = lv->item(static_cast<int>(row), column)) cells.push_back(S(item->text()));
    return cells;
}

int TFMain::TargetFormat() { return cb->currentIndex(); }
std::string TFMain::OutputFolder() { return S(afl1->text()); }
bool TFMain::SaveIntoFolder() { return cb1->isChecked(); }
bool TFMain::LoggingEnabled() { return cb2->isChecked(); }

// ---- the viewer ----

void TFMain::ToolButtonInspectClick() {
    const QModelIndexList rows = lv->selectionModel()->selectedRows();
    if (!rows.isEmpty()) InspectRow(rows.front().row());
}

InspectorDialog* TFMain::InspectRow(int row) {
    const QTableWidgetItem* item = lv->item(row, 1);
    if (!item) return nullptr;
    auto* dialog = new InspectorDialog(S(item->text()), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

}  // namespace tarvex::gui
