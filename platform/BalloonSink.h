#pragma once

#include <string>

// Where balloon messages go: the windowed program shows them from its
// notification-area icon; without a window they go nowhere (callers log
// what they show). One sink is current per process.
class CBalloonSink {
public:
    virtual ~CBalloonSink();

    virtual void ShowBalloon(const std::string& title, const std::string& text) = 0;

    // The sink installed last, or one that shows nothing.
    static CBalloonSink& Current();
    // Installs a borrowed sink (null restores the default) and returns the
    // previous installation (null for the default).
    static CBalloonSink* SetCurrent(CBalloonSink* sink);
    // Current().ShowBalloon(title, text).
    static void Show(const std::string& title, const std::string& text);
};
