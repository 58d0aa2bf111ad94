#pragma once
// Port index (0 = COM1 … 3 = COM4) → serial device. By default /dev/ttyS<i> (COM<i+1> on
// Windows); a configuration row COM1 … COM4 names another device for that index, which is how
// a USB adapter or the emulator's pseudo-terminal is reached.
#include <QString>
#include <array>
#include <optional>

namespace lnk {

class PortMap {
public:
    static constexpr int kPorts = 4;

    /// Empty for an index outside 0 … 3: such a port cannot be opened.
    QString device(int index) const;
    static QString defaultDevice(int index);
    /// Sets the device of an index; an empty path restores the default.
    void setDevice(int index, const QString& path);
    /// Index of a configuration key "COM1" … "COM4" (any case), or -1.
    static int indexOfKey(const QString& key);

    /// Whether a device is there now: a path is looked for, a Windows COM name in the system's
    /// list of serial ports. Nothing when that cannot be told.
    static std::optional<bool> present(const QString& device);

private:
    std::array<QString, kPorts> overrides_;
};

} // namespace lnk
