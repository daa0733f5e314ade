#pragma once

#include <QApplication>

#include <functional>

class QKeyEvent;

// The application object: offers every key press to the main window before shortcuts and widgets
// see it, and turns exceptions that escape an event handler into a fatal message and an error box.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    // Returns true when the key was handled; the key then reaches neither a shortcut nor a widget.
    using TKeyHook = std::function<bool(QKeyEvent* aEvent)>;
    using TErrorBox = std::function<void(const QString& sText)>;

    TApplication(int& argc, char** argv);

    static TApplication* Instance();

    void SetKeyHook(TKeyHook aHook) { fKeyHook = std::move(aHook); }
    void SetErrorBox(TErrorBox aBox) { fErrorBox = std::move(aBox); }

    bool notify(QObject* aReceiver, QEvent* aEvent) override;

    // Logs the text as fatal and shows it in the error box.
    void HandleException(const QString& sText);

    // SIGTERM and SIGINT close the windows as the operator would, so that the settings are saved
    // when the session ends.
    void InstallTerminationHandler();
    // A termination signal arrived: the program is closing, questions to the operator are not
    // asked again.
    bool Terminating() const { return fbTerminating; }

private:
    TKeyHook fKeyHook;
    TErrorBox fErrorBox;
    // The key press that follows a handled shortcut check is dropped.
    int fiSwallowKey = 0;
    bool fbTerminating = false;
};
