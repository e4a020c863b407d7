// TFMain's stored settings (the output folder, the last folder of the add dialog, the two options and the
// target format) read when the window is first shown and written as they change; a store that cannot be
// read gives the first run's values.
#include "gui/main_window.h"

#include <QFileInfo>
#include <cstdio>
#include <exception>

#include "app/format_table.h"
#include "gui/gui_text.h"

namespace tarvex::gui {

void TFMain::ReadSettings() {
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
void TFMain::SaveSetting(const std::function<void()>& write) {
    try {
        write();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvex: %s\n", Fill(Tr("settings not saved: %s"), {e.what()}).c_str());
    }
}

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

}  // namespace tarvex::gui
