// TFMain's building: the tool bar, the list, the bottom panel, the progress panel and the status bar, and the
// window's life on the screen: the first showing, resizing and closing.
#include "gui/main_window.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "gui/gui_text.h"
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

}  // namespace

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
    STB1Summary = new QLabel(STB1);
    STB1Summary->setObjectName("STB1Summary");
    STB1->addWidget(STB1Summary, 1);
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

void TFMain::FormShow() {
    lv->setColumnWidth(0, kNumberColumnWidth);
    lv->setColumnWidth(1, kFileColumnWidth);
    lv->setColumnWidth(2, kResultColumnWidth);
    FillFormatSelector();
    ReadSettings();
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

}  // namespace tarvex::gui
