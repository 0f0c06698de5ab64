#pragma once
// Every message box and thread message of the program goes through one dialog
// service, so that tests can record them instead of blocking on a modal box.

#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QWidget;

namespace platform {

enum class MessageIcon { None, Information };

enum class DialogKind { MessageBox, ThreadMessage };

struct DialogRequest {
    DialogKind kind = DialogKind::MessageBox;
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::None;
};

class DialogService {
public:
    virtual ~DialogService() = default;
    // Shows the dialog modally (or records it) and returns when it is closed.
    virtual void Show(QWidget *parent, const DialogRequest &request) = 0;
};

// The service in use: the modal Qt dialogs unless a test installed another.
DialogService &Dialogs();
// Installs a service (not owned); nullptr restores the modal Qt dialogs.
void SetDialogService(DialogService *service);

// A modal box with one OK button.
void ShowMessageBox(QWidget *parent, const QString &text, const QString &caption,
                    MessageIcon icon = MessageIcon::None);

// The thread message dialog with its single button "Принято".
void ShowThreadMessage(QWidget *parent, const QString &caption, const QString &text);

// The forms register the real thread message dialog here; until they do, the
// Qt service shows a plain box with the same caption, text and button.
using ThreadMessagePresenter =
    std::function<void(QWidget *parent, const QString &caption, const QString &text)>;
void SetThreadMessagePresenter(ThreadMessagePresenter presenter);

// Records instead of showing; safe to read from the test's thread.
class RecordingDialogService final : public DialogService {
public:
    void Show(QWidget *parent, const DialogRequest &request) override;

    std::vector<DialogRequest> Shown() const;
    std::size_t Count() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<DialogRequest> shown_;
};

// Installs a service for a scope and restores the previous one after it.
class ScopedDialogService {
public:
    explicit ScopedDialogService(DialogService &service);
    ~ScopedDialogService();
    ScopedDialogService(const ScopedDialogService &) = delete;
    ScopedDialogService &operator=(const ScopedDialogService &) = delete;

private:
    DialogService *previous_;
};

} // namespace platform
