// Modal popups: messages, questions, file selection and panels shown as popups. Every popup is
// recorded; with a responder installed (tests) the dialogs are answered without being shown.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <cstdio>

#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

namespace {
std::function<PopupAnswer(const PopupRecord&)> g_responder;
std::vector<PopupRecord> g_popups;
bool g_onConsole = false;

// With nobody at the screen, what a popup says goes to stderr and its answer is "no".
bool toConsole(const PopupRecord& record) {
    if (g_responder || !g_onConsole) return false;
    std::fprintf(stderr, "%s%s%s\n", record.title.c_str(), record.title.empty() ? "" : ": ", record.text.c_str());
    return true;
}

std::string joinedTexts(const Panel& p) {
    std::string text;
    for (const auto& [id, c] : p.controls) {
        if (c.type != CTRL_TEXT_MSG) continue;
        if (!text.empty()) text += "\n";
        text += ss(static_cast<QLabel*>(c.widget)->text());
    }
    return text;
}

} // namespace

void platform::RecordPopup(PopupRecord record) { g_popups.push_back(std::move(record)); }

int InstallPopup(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->popup = true;
    RecordPopup({"panel", ss(p->window->windowTitle()), joinedTexts(*p), panel});
    if (g_responder) g_responder(g_popups.back());
    p = findPanel(panel); // the responder may have acted on the panel
    if (!p) return 0;
    p->window->setWindowModality(Qt::ApplicationModal);
    ShowOnScreen(*p);
    return 0;
}

int RemovePopup(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->hide();
    p->window->setWindowModality(Qt::NonModal);
    p->popup = false;
    return 0;
}

void SetPopupsOnConsole(bool onConsole) { g_onConsole = onConsole; }
bool PopupsOnConsole() { return g_onConsole; }

int MessagePopup(const std::string& title, const std::string& message) {
    RecordPopup({"message", title, message, 0});
    if (toConsole(g_popups.back())) return 0;
    if (g_responder) {
        g_responder(g_popups.back());
        return 0;
    }
    QMessageBox box(QMessageBox::NoIcon, qs(title), qs(message), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
    return 0;
}

int ConfirmPopup(const std::string& title, const std::string& message) {
    RecordPopup({"confirm", title, message, 0});
    if (toConsole(g_popups.back())) return 0;
    if (g_responder) return g_responder(g_popups.back()).result ? 1 : 0;
    QMessageBox box(QMessageBox::Question, qs(title), qs(message), QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? 1 : 0;
}

int FileSelectPopupEx(const std::string& defaultDir, const std::string& defaultSpec,
                      const std::string& typeList, const std::string& title, int button, std::string& path) {
    RecordPopup({"file", title, defaultSpec, 0});
    if (toConsole(g_popups.back())) return 0;
    if (g_responder) {
        const PopupAnswer answer = g_responder(g_popups.back());
        if (answer.result < 1) return 0;
        path = answer.path;
        return answer.result;
    }
    QFileDialog dialog(QApplication::activeWindow(), qs(title), qs(defaultDir));
    QStringList filters;
    if (!defaultSpec.empty()) filters << qs(defaultSpec);
    if (!typeList.empty() && typeList != defaultSpec) filters << qs(typeList);
    dialog.setNameFilters(filters);
    dialog.setAcceptMode(button == VAL_SAVE_BUTTON ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(button == VAL_SAVE_BUTTON ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (button == VAL_SAVE_BUTTON) dialog.setLabelText(QFileDialog::Accept, "Save");
    if (button == VAL_LOAD_BUTTON) dialog.setLabelText(QFileDialog::Accept, "Load");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
    path = ss(dialog.selectedFiles().first());
    return QFileInfo::exists(dialog.selectedFiles().first()) ? 1 : 2;
}

void SetPopupResponder(std::function<PopupAnswer(const PopupRecord&)> responder) {
    g_responder = std::move(responder);
}
const std::vector<PopupRecord>& RecordedPopups() { return g_popups; }
void ClearRecordedPopups() { g_popups.clear(); }
