#pragma once

#include <platform/DateTime.h>

#include <string>

// Where balloon messages go: the windowed program shows them on the desktop
// (its notification service, else the notification-area icon) and in its
// window; without a window they go nowhere (callers log what they show).
// One sink is current per process.
class CBalloonSink {
public:
    virtual ~CBalloonSink();

    virtual void ShowBalloon(const std::string& title, const std::string& text) = 0;
    // A notice about what happens on `day` (a meeting, a reminder), which a
    // sink may offer to show; a balloon unless the sink does more.
    virtual void ShowNotice(const std::string& title, const std::string& text, const CDateTime& day);

    // The sink installed last, or one that shows nothing.
    static CBalloonSink& Current();
    // Installs a borrowed sink (null restores the default) and returns the
    // previous installation (null for the default).
    static CBalloonSink* SetCurrent(CBalloonSink* sink);
    // Current().ShowBalloon(title, text).
    static void Show(const std::string& title, const std::string& text);
    // Current().ShowNotice(title, text, day).
    static void Show(const std::string& title, const std::string& text, const CDateTime& day);
};
