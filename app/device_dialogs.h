// The sensor's configuration windows: the settings window, the access code dialog, the
// advanced settings it opens and "About". Top-level windows, created and deleted here; once
// reception starts they show what the status receiver reports.
#pragma once

#include <QString>
#include <cstdint>

class ACWPSetMuch;
class About;
class CodeDialog;
class GetSet;
class InteractionMuchSet;
class QAbstractButton;
class QWidget;

namespace kv::window {

// The buttons that open the windows ("Parameter", "Distance", "About").
struct DeviceButtons {
    QAbstractButton* parameter;
    QAbstractButton* distance;  // the access code dialog
    QAbstractButton* about;
};

class DeviceDialogs {
public:
    // The advanced settings window takes its status source from `statusReceiver`; each of
    // `buttons` shows its window.
    DeviceDialogs(GetSet* statusReceiver, const DeviceButtons& buttons);
    ~DeviceDialogs();
    DeviceDialogs(const DeviceDialogs&) = delete;
    DeviceDialogs& operator=(const DeviceDialogs&) = delete;

    InteractionMuchSet* interactionSet() const { return interactionSet_; }
    CodeDialog* codeDialog() const { return codeDialog_; }
    ACWPSetMuch* advancedSet() const { return advancedSet_; }
    About* about() const { return about_; }

    // The status receiver's reports to the windows that show them; again is harmless.
    // The dialogs act on the sensor at `ip` (0: any sender, as with one sensor).
    void followSensor(std::uint32_t ip);
    void followStatus();
    // The code dialog's answer: the access code opens the advanced settings, any other is
    // refused in a box over `parent`.
    void codeEntered(const QString& code, QWidget* parent);

private:
    GetSet* statusReceiver_;
    InteractionMuchSet* interactionSet_;
    CodeDialog* codeDialog_;
    ACWPSetMuch* advancedSet_;
    About* about_;
};

}  // namespace kv::window
