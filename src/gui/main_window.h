// TFMain, the program's window: the list of source images, the target format, the output folder, the two
// options, the progress panel with Stop, and the batch conversion behind the Convert button. It is the
// Qt face of the conversion driver: it answers the driver's questions, shows its progress and results.
// Its members live by role: main_window.cpp builds the window and follows its life on the screen,
// main_window_list.cpp keeps the list of files, main_window_settings.cpp the stored settings and the output
// folder, format_selector.cpp the target-format selector, main_window_run.cpp the run and the progress panel.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStringList>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <functional>
#include <memory>
#include <string>

#include "app/conversion_driver.h"
#include "disk/zx_disk.h"
#include "gui/dialogs.h"
#include "gui/lookup_edit.h"
#include "gui/sector_map_view.h"
#include "settings/tyn_store_data.h"

namespace tarvex::gui {

class InspectorDialog;

struct WindowOptions {
    DialogService* dialogs = nullptr;  // the desktop's boxes when not given
    std::string programFolder;         // with a trailing separator; the running program's when empty
    Clock clock = SystemLocalTime;     // time stamps of the run log
    QStringList files;                 // added once the window is shown, as if chosen in the add dialog
};

class TFMain : public QMainWindow, public ConversionUi {
    Q_OBJECT
public:
    explicit TFMain(WindowOptions options = {}, QWidget* parent = nullptr);
    ~TFMain() override;

    // Commands and handlers; each one that starts work does nothing while a run is going on.
    void ToolButton1Click();  // add files through the dialog
    void AddChosenFiles(const QStringList& files);  // what the add dialog does with the files it returns
    void ToolButton2Click();  // remove the selected rows
    void ToolButton3Click();  // convert every listed file
    void ToolButton4Click();  // close the window
    void ToolButtonInspectClick();
    void BitBtn1Click();  // Stop
    void WMDropFiles(const QStringList& files, QPoint dropPoint);
    void afl1Button1Click();
    void cb1Click();
    void cb2Click();
    void cbChange();
    void lvClick();
    bool IsInList(const QString& fileName) const;

    // Opens the viewer of the image in a row (0-based); the viewer reads it into its own disk model.
    InspectorDialog* InspectRow(int row);

    bool Busy() const { return driver_.Busy; }
    TZX_Disk& RunDisk() { return zxd; }
    const std::string& ProgramFolder() const { return programFolder_; }
    ConversionDriver& Driver() { return driver_; }
    TTynStoreData& Store() { return asd; }

    // ConversionUi
    bool AskYesNo(const std::string& text, const std::string& caption) override;
    void ShowMessage(const std::string& text, const std::string& caption) override;
    bool ShowFileFailure(const std::string& text, const std::string& caption, const std::string& file) override;
    void PumpEvents() override;
    void ShowProgress() override;
    void HideProgress() override;
    void SetProgress(int position, const std::string& counter) override;
    void SetFormatSelectorEnabled(bool enabled) override;
    void SetRowResult(size_t row, const std::string& text, const std::string& detail) override;
    void ShowRunSummary(const std::string& text) override;
    size_t RowCount() override;
    std::vector<std::string> RowCells(size_t row) override;
    int TargetFormat() override;
    std::string OutputFolder() override;
    bool SaveIntoFolder() override;
    bool LoggingEnabled() override;

    // The window's parts, by the names of its description.
    QToolBar* ToolBar1 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton2 = nullptr;
    QToolButton* ToolButton3 = nullptr;
    QToolButton* ToolButton4 = nullptr;
    QToolButton* ToolButtonInspect = nullptr;
    QTableWidget* lv = nullptr;
    QFrame* p = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* l1 = nullptr;
    QProgressBar* pg = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QWidget* Panel2 = nullptr;  // the bottom panel
    QLabel* Label1 = nullptr;
    QComboBox* cb = nullptr;
    QCheckBox* cb1 = nullptr;
    TTynLookupEdit* afl1 = nullptr;
    QCheckBox* cb2 = nullptr;
    QStatusBar* STB1 = nullptr;
    QLabel* STB1Panel = nullptr;
    QLabel* STB1Summary = nullptr;     // how the last run went
    SectorMapView* zxdView = nullptr;  // never shown

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormResize();
    void FitFileColumn();
    void OpenStartupFiles();
    void BuildToolBar();
    void BuildList();
    void BuildBottomPanel();
    void BuildProgressPanel();

    bool AddFile(const QString& name);
    void ShowFileCount();
    void UpdateConvertButton();
    void UpdateInspectButton();

    void FillFormatSelector();
    void ReadSettings();
    std::string SettingString(const char* key, const std::string& fallback);
    bool SettingBool(const char* key, bool fallback);
    int SettingInteger(const char* key, int fallback);
    void SaveSetting(const std::function<void()>& write);

    std::unique_ptr<QtDialogService> ownDialogs_;
    DialogService* dialogs_;
    std::string programFolder_;
    TZX_Disk zxd;
    TTynStoreData asd;
    ConversionDriver driver_;

    std::string ImageDirectory;
    std::string LastDirectory;
    bool SamePath = false;
    QStringList startupFiles_;
    bool shown_ = false;
    bool closeRequestedDuringRun_ = false;
};

}  // namespace tarvex::gui
