#pragma once
// Every message box of the program goes through this seam: a kind (with its caption and
// icon), a text and a set of buttons, answered by the user — or by a script in tests.
#include <QString>

enum class MsgKind { Warning, Error, Information, Confirmation };
enum class MsgButtons { Ok, YesNo, YesCancel, OkCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

/// The application title, used as the caption of plain messages.
QString appTitle();
/// "Warning", "Error", "Information", "Confirm".
QString kindCaption(MsgKind k);

class MessageService {
public:
    virtual ~MessageService() = default;
    virtual MsgAnswer ask(MsgKind kind, const QString& text, MsgButtons buttons) = 0;
    /// A question whose Yes destroys or discards something: the safe answer (No, Cancel) is the
    /// default button, so Enter never destroys.
    virtual MsgAnswer askDestructive(MsgKind kind, const QString& text, MsgButtons buttons) {
        return ask(kind, text, buttons);
    }
    /// A plain message: the application title as caption, no icon, OK.
    virtual void plain(const QString& text) = 0;

    void show(MsgKind kind, const QString& text) { ask(kind, text, MsgButtons::Ok); }
    /// `show` with a longer explanation that the box keeps under its text (its detail text).
    virtual void showDetailed(MsgKind kind, const QString& text, const QString& detail) {
        (void)detail;
        show(kind, text);
    }

    /// While termination is pending, every box closes by itself right after it opens.
    bool autoClose() const { return autoClose_; }
    void setAutoClose(bool on) { autoClose_ = on; }

private:
    bool autoClose_ = false;
};

class QtMessageService : public MessageService {
public:
    MsgAnswer ask(MsgKind kind, const QString& text, MsgButtons buttons) override;
    MsgAnswer askDestructive(MsgKind kind, const QString& text, MsgButtons buttons) override;
    void plain(const QString& text) override;
    void showDetailed(MsgKind kind, const QString& text, const QString& detail) override;

private:
    MsgAnswer run(MsgKind kind, const QString& text, MsgButtons buttons, const QString& detail, bool safeDefault = false);
};
