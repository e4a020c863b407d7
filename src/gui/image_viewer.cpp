// The viewer's dialog: a line naming the image, its format and size (or why it could not be read), its sector
// map, and beside it a pane with the reader's message, the image's comment and the TR-DOS catalogue laid out
// one fact a line, the pane as wide as the catalogue needs.
#include "gui/image_viewer.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScrollBar>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "app/conversion_step.h"
#include "app/format_table.h"
#include "disk/zx_disk.h"
#include "formats/writer_losses.h"
#include "gui/gui_text.h"
#include "io/text_1251.h"
#include "trdos/trdos_area.h"

namespace tarvex::gui {

namespace {

constexpr int kDefaultWidth = 1200, kDefaultHeight = 640;

// Where the catalogue's table of files starts on its lines: its header shares a line with the "catalogue:"
// label, and the file lines are indented to match.
constexpr qsizetype kTableColumn = 13;
const QString kTableIndent = "  ";

// The table moves left under its label, which gets a line of its own.
QString TableUnderItsLabel(const QString& text) {
    QStringList lines = text.split(u'\n');
    const auto header = std::find_if(lines.begin(), lines.end(), [](const QString& line) {
        return line.size() > kTableColumn && line.mid(kTableColumn).startsWith("  #");
    });
    if (header == lines.end()) return text;
    const QString blank(kTableColumn, u' ');
    for (auto line = header + 1; line != lines.end() && line->startsWith(blank); ++line)
        *line = kTableIndent + line->mid(kTableColumn);
    const QString label = header->left(kTableColumn).trimmed();
    *header = kTableIndent + header->mid(kTableColumn);
    lines.insert(header, kTableIndent + label);
    return lines.join(u'\n');
}

// The catalogue's first line runs all its facts together; here each fact after the label gets its own line
// and the table of files moves under its label, so that the pane beside the sector map stays narrow enough
// to need no sideways scrolling.
QString CatalogueText(const std::string& catalogue) {
    QString text = QString::fromStdString(catalogue);
    const QString afterLabel = "\", ";
    const qsizetype labelEnd = text.indexOf(afterLabel);
    const qsizetype lineEnd = text.indexOf(u'\n');
    if (labelEnd < 0 || lineEnd < labelEnd) return TableUnderItsLabel(text);
    QString facts = text.mid(labelEnd + 1, lineEnd - labelEnd - 1);
    facts.replace(", ", "\n  ");
    return TableUnderItsLabel(text.left(labelEnd + 1) + facts + text.mid(lineEnd));
}

// Wide enough to show the longest line of text in the pane without a horizontal scroll bar.
int TextPaneWidth(const QPlainTextEdit& pane, const QString& text) {
    int widest = 0;
    for (const QString& line : text.split(u'\n'))
        widest = std::max(widest, pane.fontMetrics().horizontalAdvance(line));
    const int margins = 2 * static_cast<int>(pane.document()->documentMargin()) + 2 * pane.frameWidth();
    return widest + margins + pane.verticalScrollBar()->sizeHint().width() + pane.fontMetrics().averageCharWidth();
}

int CountSectors(TZX_Disk& disk) {
    int sectors = 0;
    for (unsigned k = 0; k < kMaxTracks; ++k)
        if (TTrack* t = disk.Track(k); t->Used) sectors += t->CountSectors();
    return sectors;
}
}  // namespace

QString InspectorSummary(TZX_Disk& disk, const std::string& path, bool loaded, const std::string& message,
                         int format) {
    QString text = Q(path) + "\n";
    if (!loaded) return text + QTr("Error loading image: %1").arg(Q(message));
    if (format >= 0 && format < kFormatCount) text += QString::fromLatin1(Formats()[format].name) + ", ";
    return text + QTr("tracks: %1, sectors: %2").arg(disk.CountTracks()).arg(CountSectors(disk));
}

QString InspectorDetails(TZX_Disk& disk, bool loaded, const std::string& message) {
    QStringList parts;
    if (!loaded) {
        parts << QTr("Message:") + "\n" + Q(message);
        return parts.join("\n\n");
    }
    if (!disk.StatusMessage.empty()) parts << QTr("Message:") + "\n" + Q(disk.StatusMessage);
    if (!disk.Comment.empty()) {
        QStringList lines;
        for (const std::string& line : disk.Comment) lines << Q(line);
        parts << QTr("Comment:") + "\n" + lines.join("\n");
    }
    if (const std::string beyond = DiskFeatures(disk).ItemsText(); !beyond.empty())
        parts << QTr("Beyond plain sectors: %1").arg(QString::fromStdString(beyond));
    if (const std::string catalogue = DescribeTrdosSystemArea(disk); !catalogue.empty())
        parts << QTr("TR-DOS catalogue:") + "\n" + CatalogueText(catalogue);
    if (parts.isEmpty()) parts << QTr("No TR-DOS catalogue, comment or message.");
    return parts.join("\n\n");
}

InspectorDialog::InspectorDialog(const std::string& path, QWidget* parent, DialogService* dialogs)
    : QDialog(parent),
      ownDialogs_(dialogs ? nullptr : std::make_unique<QtDialogService>()),
      dialogs_(dialogs ? dialogs : ownDialogs_.get()),
      path_(path),
      disk_(std::make_unique<TZX_Disk>()) {
    disk_->StatusMessage.clear();
    const Status read = ReadImageFile(*disk_, path, std::nullopt, &format_);
    loaded_ = read.ok();
    message_ = read.reason();
    if (!loaded_ && message_.empty()) message_ = Tr("File not found");
    if (loaded_) kind_ = KindOfImage(path, format_);

    summary_ = new QLabel(this);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    showDisabled_ = new QCheckBox(QTr("Show missing tracks and empty sectors"), this);
    showDisabled_->setObjectName("ShowDisabledSectors");
    map_ = new SectorMapView(*disk_, this);
    // A disk with more sectors a track than the classic twenty scrolls sideways rather than widen the window.
    map_->setMinimumWidth(SectorMapView::ColumnLeft(kClassicMapSectorColumns + 1) +
                          map_->verticalScrollBar()->sizeHint().width() + 2 * map_->frameWidth());
    details_ = new QPlainTextEdit(this);
    details_->setReadOnly(true);
    details_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    details_->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(showDisabled_, &QCheckBox::toggled, map_, &SectorMapView::SetShowDisabledSectors);

    files_ = new QTableWidget(0, 8, this);
    files_->setObjectName("TrdosFiles");
    files_->setHorizontalHeaderLabels(
        {"#", QTr("Name"), QTr("Type"), QTr("Start"), QTr("Length"), QTr("Sectors"), QTr("Track"), QTr("Sector")});
    files_->verticalHeader()->hide();
    files_->setSelectionBehavior(QAbstractItemView::SelectRows);
    files_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    files_->setFont(details_->font());
    extract_ = new QPushButton(QTr("Extract..."), this);
    add_ = new QPushButton(QTr("Add files..."), this);
    delete_ = new QPushButton(QTr("Delete"), this);
    save_ = new QPushButton(QTr("Save"), this);
    saveInto_ = new QPushButton(QTr("Save into folder..."), this);
    const QString sourceFolder = Q(std::filesystem::path(path).parent_path().string());
    connect(extract_, &QPushButton::clicked, this, [this, sourceFolder] {
        const QString folder = dialogs_->PickFolder(this, QTr("Extract the files into"), sourceFolder);
        if (!folder.isEmpty()) ExtractFilesTo(folder);
    });
    connect(add_, &QPushButton::clicked, this, [this, sourceFolder] {
        const QStringList paths = dialogs_->OpenFiles(this, QTr("Add files to the disk"), sourceFolder,
                                                      QTr("Hobeta files") + "|*.$?|" + QTr("All files") + "|*");
        if (!paths.isEmpty()) AddFiles(paths);
    });
    connect(delete_, &QPushButton::clicked, this, &InspectorDialog::DeleteSelectedFiles);
    connect(save_, &QPushButton::clicked, this, &InspectorDialog::SaveOverSource);
    connect(saveInto_, &QPushButton::clicked, this, [this, sourceFolder] {
        const QString folder = dialogs_->PickFolder(this, QTr("Save the image into"), sourceFolder);
        if (!folder.isEmpty()) SaveIntoFolder(folder);
    });

    // Two rows, so that the buttons never widen the pane the catalogue sets: the files, then the image.
    auto* buttons = new QGridLayout;
    buttons->addWidget(extract_, 0, 0);
    buttons->addWidget(add_, 0, 1);
    buttons->addWidget(delete_, 0, 2);
    buttons->addWidget(save_, 1, 0);
    buttons->addWidget(saveInto_, 1, 1, 1, 2);
    auto* pane = new QVBoxLayout;
    pane->addWidget(details_, 3);
    pane->addWidget(files_, 2);
    pane->addLayout(buttons);
    auto* body = new QHBoxLayout;
    body->addWidget(map_, 3);
    body->addLayout(pane, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(showDisabled_);
    layout->addLayout(body, 1);
    ShowDisk();
    // The catalogue decides the pane's width; a long message or comment line may still scroll.
    details_->setMinimumWidth(TextPaneWidth(*details_, CatalogueText(DescribeTrdosSystemArea(*disk_))));
    resize(std::max(kDefaultWidth, minimumSizeHint().width()), kDefaultHeight);
}

void InspectorDialog::ShowDisk() {
    setWindowTitle(QTr("Image view - %1").arg(Q(FileNamePart(path_))) + (changed_ ? " *" : ""));
    summary_->setText(InspectorSummary(*disk_, path_, loaded_, message_, format_));
    details_->setPlainText(InspectorDetails(*disk_, loaded_, message_));
    map_->Refresh();
    TrdosCatalogue catalogue;
    const bool trdos = loaded_ && disk_->ReadCatalogue(catalogue);
    const unsigned count = trdos ? TrdosEntryCount(catalogue) : 0;
    files_->setRowCount(static_cast<int>(count));
    for (unsigned i = 0; i < count; ++i) {
        const TrdosFileEntry& e = catalogue.Entries[i];
        const std::string type = e.Type < 32 ? std::string("?") : Cp1251ToUtf8(ByteSpan(&e.Type, 1));
        const QStringList cells = {
            QString::number(i + 1),        Q(TrdosNameText(e.Name)),      Q(type),
            QString::number(e.Start),      QString::number(e.Length),     QString::number(e.SectorCount),
            QString::number(e.FirstTrack), QString::number(e.FirstSector)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (e.Deleted()) item->setForeground(palette().color(QPalette::Disabled, QPalette::Text));
            files_->setItem(static_cast<int>(i), c, item);
        }
    }
    files_->resizeColumnsToContents();
    files_->setEnabled(trdos);
    for (QPushButton* button : {extract_, add_, delete_}) button->setEnabled(trdos);
    save_->setEnabled(changed_);
    saveInto_->setEnabled(changed_);
}

void InspectorDialog::SetChanged(bool changed) {
    changed_ = changed;
    ShowDisk();
}

std::vector<unsigned> InspectorDialog::SelectedEntries() const {
    std::vector<unsigned> rows;
    for (const QModelIndex& index : files_->selectionModel()->selectedRows())
        rows.push_back(static_cast<unsigned>(index.row()));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void InspectorDialog::ExtractFilesTo(const QString& folder) {
    TrdosCatalogue catalogue;
    if (!disk_->ReadCatalogue(catalogue)) return;
    std::vector<unsigned> picked = SelectedEntries();
    if (picked.empty())
        for (unsigned i = 0; i < TrdosEntryCount(catalogue); ++i)
            if (!catalogue.Entries[i].Deleted()) picked.push_back(i);
    QStringList lines;
    for (const ExtractedFile& file :
         ExtractTrdosFiles(*disk_, catalogue, picked, S(folder), true, IfNameTaken::kKeep)) {
        QString line = Q(TrdosFileTitle(catalogue.Entries[file.index])) + " -> " + Q(file.output);
        if (file.status.nameTaken())
            line += QString(": ") + kResultExists;
        else if (!file.status)
            line += QString(": ") + kResultSaveError + " (" + Q(file.status.reason()) + ")";
        lines << line;
    }
    dialogs_->ShowMessage(this, lines.isEmpty() ? QTr("No files on the disk!") : lines.join("\n"),
                          QTr("Extract files"));
}

void InspectorDialog::AddFiles(const QStringList& paths) {
    QStringList refused;
    bool added = false;
    for (const QString& path : paths) {
        if (const Status status = AddHostFile(*disk_, S(path), AddOptions{}); status)
            added = true;
        else
            refused << Q(status.reason());
    }
    if (added) SetChanged(true);
    if (!refused.isEmpty()) dialogs_->ShowMessage(this, refused.join("\n"), QTr("Add files"));
}

void InspectorDialog::DeleteSelectedFiles() {
    TrdosCatalogue catalogue;
    if (!disk_->ReadCatalogue(catalogue)) return;
    bool deleted = false;
    for (const unsigned i : SelectedEntries())
        if (i < catalogue.Entries.size() && !catalogue.Entries[i].Deleted())
            deleted = DeleteTrdosFile(*disk_, i).ok() || deleted;
    if (deleted) SetChanged(true);
}

bool InspectorDialog::SaveOverSource() {
    if (!dialogs_->AskYesNo(this, QTr("Replace %1 with the changed disk?").arg(Q(path_)), QTr("Save image")))
        return false;
    const Status written = WriteChangedImage(*disk_, path_, kind_, IfNameTaken::kReplace);
    if (!written) {
        dialogs_->ShowMessage(this, QString(kResultSaveError) + " (" + Q(written.reason()) + ")", QTr("Save image"));
        return false;
    }
    SetChanged(false);
    return true;
}

bool InspectorDialog::SaveIntoFolder(const QString& folder) {
    const std::string output = (std::filesystem::path(S(folder)) / FileNamePart(path_)).string();
    std::error_code error;
    if (std::filesystem::equivalent(output, path_, error)) return SaveOverSource();
    const Status written = WriteChangedImage(*disk_, output, kind_, IfNameTaken::kKeep);
    if (!written) {
        const QString result =
            written.nameTaken() ? QString(kResultExists) : QString(kResultSaveError) + " (" + Q(written.reason()) + ")";
        dialogs_->ShowMessage(this, Q(output) + ": " + result, QTr("Save image"));
        return false;
    }
    SetChanged(false);
    return true;
}

void InspectorDialog::reject() {
    if (changed_ &&
        !dialogs_->AskYesNo(this, QTr("The disk has changed. Close the view without saving it?"), QTr("Image view")))
        return;
    QDialog::reject();
}

InspectorDialog::~InspectorDialog() {
    delete map_;  // it watches the disk, which goes before the dialog's children do
}

}  // namespace tarvex::gui
