#include "platform/dialogs.h"

#include <QMessageBox>
#include <QPushButton>

#include <atomic>

namespace platform {

namespace {

ThreadMessagePresenter &Presenter() {
    static ThreadMessagePresenter presenter;
    return presenter;
}

class QtDialogService final : public DialogService {
public:
    void Show(QWidget *parent, const DialogRequest &request) override {
        if (request.kind == DialogKind::ThreadMessage) {
            if (Presenter()) {
                Presenter()(parent, request.caption, request.text);
                return;
            }
            QMessageBox box(QMessageBox::NoIcon, request.caption, request.text,
                            QMessageBox::NoButton, parent);
            box.addButton(QStringLiteral("Принято"), QMessageBox::AcceptRole);
            box.exec();
            return;
        }
        QMessageBox box(request.icon == MessageIcon::Information ? QMessageBox::Information
                                                                 : QMessageBox::NoIcon,
                        request.caption, request.text, QMessageBox::Ok, parent);
        box.exec();
    }
};

QtDialogService &QtService() {
    static QtDialogService service;
    return service;
}

std::atomic<DialogService *> &Installed() {
    static std::atomic<DialogService *> installed{nullptr};
    return installed;
}

} // namespace

DialogService &Dialogs() {
    DialogService *service = Installed().load();
    return service ? *service : QtService();
}

void SetDialogService(DialogService *service) { Installed().store(service); }

void ShowMessageBox(QWidget *parent, const QString &text, const QString &caption,
                    MessageIcon icon) {
    Dialogs().Show(parent, DialogRequest{DialogKind::MessageBox, text, caption, icon});
}

void ShowThreadMessage(QWidget *parent, const QString &caption, const QString &text) {
    Dialogs().Show(parent,
                   DialogRequest{DialogKind::ThreadMessage, text, caption, MessageIcon::None});
}

void SetThreadMessagePresenter(ThreadMessagePresenter presenter) {
    Presenter() = std::move(presenter);
}

void RecordingDialogService::Show(QWidget *, const DialogRequest &request) {
    const std::lock_guard lock(mutex_);
    shown_.push_back(request);
}

std::vector<DialogRequest> RecordingDialogService::Shown() const {
    const std::lock_guard lock(mutex_);
    return shown_;
}

std::size_t RecordingDialogService::Count() const {
    const std::lock_guard lock(mutex_);
    return shown_.size();
}

void RecordingDialogService::Clear() {
    const std::lock_guard lock(mutex_);
    shown_.clear();
}

ScopedDialogService::ScopedDialogService(DialogService &service)
    : previous_(Installed().exchange(&service)) {}

ScopedDialogService::~ScopedDialogService() { Installed().store(previous_); }

} // namespace platform
