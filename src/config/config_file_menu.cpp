#include "config/config_file_menu.h"

#include "config/config_file.h"
#include "lang/label_table.h"
#include "link/link_settings.h"
#include "platform/ui.h"

namespace {

constexpr int kTextSaveTitle = 288;
constexpr int kTextSaved = 283;
constexpr int kTextSaveFailed = 284;
constexpr int kTextLoadTitle = 287;
constexpr int kTextLoaded = 285;
constexpr int kTextLoadFailed = 286;
constexpr int kTextPartlyWritten = 462;
constexpr int kTextCannotWriteFile = 463;
constexpr int kTextCannotUseFile = 464;

LinkTarget linkInForce() {
    return {Puerto, static_cast<unsigned char>(Identidad), Telefono, static_cast<unsigned short>(TCP_Puerto),
            IP};
}

bool chooseFile(int button, std::string& path) {
    return FileSelectPopupEx("", "*.bin", "*.*", "Select file name", button, path) >= 1;
}

} // namespace

void RQ55_Guardar_Conf(int /*menuBar*/, int /*menuItem*/, void*, int /*panel*/) {
    std::string path;
    if (!chooseFile(VAL_SAVE_BUTTON, path)) return;
    std::string why;
    switch (SaveConfigurationFile(path, linkInForce(), why)) {
    case SaveResult::Saved: MessagePopup(etiqueta[kTextSaveTitle], etiqueta[kTextSaved]); break;
    // The reads run silently: the failed one is told here, once.
    case SaveResult::ReadFailed: MessagePopup(etiqueta[kTextSaveTitle], etiqueta[kTextSaveFailed]); break;
    // A file fault is the file's, never the analyser's: it is named with the system's reason.
    case SaveResult::CannotCreate:
    case SaveResult::CannotWrite:
        MessagePopup(etiqueta[kTextSaveTitle], etiqueta[kTextCannotWriteFile] + "\n" + path + ": " + why);
        break;
    }
}

void RQ55_Cargar_Conf(int /*menuBar*/, int /*menuItem*/, void*, int /*panel*/) {
    std::string path;
    if (!chooseFile(VAL_LOAD_BUTTON, path)) return;
    // The whole file is checked before anything is sent: a truncated or edited file must not put
    // a wrong configuration into the analyser.
    ConfigBytes bytes{};
    std::string why;
    if (!ReadConfigFile(path, bytes, why)) {
        MessagePopup(etiqueta[kTextLoadTitle], etiqueta[kTextCannotUseFile] + "\n" + path + ": " + why);
        return;
    }
    int failed = 0;
    if (WriteConfiguration(linkInForce(), bytes, 1, &failed) == 1)
        MessagePopup(etiqueta[kTextLoadTitle], etiqueta[kTextLoaded]);
    else if (failed == 0)
        MessagePopup(etiqueta[kTextLoadTitle], etiqueta[kTextLoadFailed]);
    else // stopped part-way: what the analyser now holds is said block by block
        MessagePopup(etiqueta[kTextLoadTitle],
                     FillIn(etiqueta[kTextPartlyWritten],
                            {ConfigBlockRegisters(0, failed), ConfigBlockRegisters(failed, static_cast<int>(std::size(kConfigBlocks)))}));
}
