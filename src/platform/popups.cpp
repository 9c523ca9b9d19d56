// Modal popups: messages, questions, file selection and panels shown as popups. Every popup is
// recorded; with a responder installed (tests) the dialogs are answered without being shown.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
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

// The window a dialog stands over: the active one while it is shown, else any panel on screen. A
// window hidden to be discarded (a popup just closed) is no parent: it goes, and its children with it.
QWidget* dialogParent() {
    QWidget* active = QApplication::activeWindow();
    if (active && active->isVisible()) return active;
    for (const auto& [handle, p] : g_panels)
        if (p->window->isVisible()) return p->window;
    return nullptr;
}

// Runs a dialog made on the heap: a window under it may still be discarded while it waits (the
// view of a lost link closing), taking the dialog along, which must then not be deleted again.
// Returns the dialog's result, and Rejected when it went that way.
template <typename Dialog, typename Then>
int runDialog(Dialog* dialog, Then then) {
    QPointer<Dialog> alive(dialog);
    const int result = dialog->exec();
    if (!alive) return QDialog::Rejected;
    then(*dialog);
    delete dialog;
    return result;
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
    runDialog(new QMessageBox(QMessageBox::NoIcon, qs(title), qs(message), QMessageBox::Ok, dialogParent()),
              [](QMessageBox&) {});
    return 0;
}

int ConfirmPopup(const std::string& title, const std::string& message) {
    RecordPopup({"confirm", title, message, 0});
    if (toConsole(g_popups.back())) return 0;
    if (g_responder) return g_responder(g_popups.back()).result ? 1 : 0;
    auto* box = new QMessageBox(QMessageBox::Question, qs(title), qs(message), QMessageBox::Yes | QMessageBox::No,
                                dialogParent());
    box->setDefaultButton(QMessageBox::No);
    return runDialog(box, [](QMessageBox&) {}) == QMessageBox::Yes ? 1 : 0;
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
    auto* dialog = new QFileDialog(dialogParent(), qs(title), qs(defaultDir));
    QStringList filters;
    if (!defaultSpec.empty()) filters << qs(defaultSpec);
    if (!typeList.empty() && typeList != defaultSpec) filters << qs(typeList);
    dialog->setNameFilters(filters);
    dialog->setAcceptMode(button == VAL_SAVE_BUTTON ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(button == VAL_SAVE_BUTTON ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (button == VAL_SAVE_BUTTON) dialog->setLabelText(QFileDialog::Accept, "Save");
    if (button == VAL_LOAD_BUTTON) dialog->setLabelText(QFileDialog::Accept, "Load");
    QString chosen;
    const int result = runDialog(dialog, [&chosen](QFileDialog& d) {
        if (!d.selectedFiles().isEmpty()) chosen = d.selectedFiles().first();
    });
    if (result != QDialog::Accepted || chosen.isEmpty()) return 0;
    path = ss(chosen);
    return QFileInfo::exists(chosen) ? 1 : 2;
}

void SetPopupResponder(std::function<PopupAnswer(const PopupRecord&)> responder) {
    g_responder = std::move(responder);
}
const std::vector<PopupRecord>& RecordedPopups() { return g_popups; }
void ClearRecordedPopups() { g_popups.clear(); }
