#pragma once

#include <platform/Registry.h>

#include <QByteArray>

#include <cstddef>
#include <optional>
#include <string>

class QHeaderView;
class QSplitter;
class QWidget;

// Where the user left a window: its geometry and the state of its
// splitters and column headers, in Qt's own bytes, kept as base64 text
// values under one registry key, so that the next start shows the window as
// it was. What is read back is checked before Qt sees it; Qt itself refuses
// bytes that are no state of its own and moves a window whose screen has
// gone onto one that is there.
class CWindowMemory {
public:
    // Qt's states of a window, a splitter or a header are well below this.
    static constexpr std::size_t MaxTextBytes = 16 * 1024;

    CWindowMemory(CRegistry registry, std::string key);

    // Each Restore puts back what is stored under `name`; false, and the
    // widget left as it was, when nothing usable is stored.
    bool RestoreGeometry(QWidget& window, const char* name) const;
    bool RestoreState(QSplitter& splitter, const char* name) const;
    bool RestoreState(QHeaderView& header, const char* name) const;

    // Each Save stores the widget's state under `name`, unless the same is
    // stored already. A registry that cannot be written loses only the
    // layout, which is not worth a message.
    void SaveGeometry(const QWidget& window, const char* name);
    void SaveState(const QSplitter& splitter, const char* name);
    void SaveState(const QHeaderView& header, const char* name);

private:
    std::optional<QByteArray> Read(const char* name) const;
    void Write(const char* name, const QByteArray& bytes);

    CRegistry m_registry;
    std::string m_key;
};
