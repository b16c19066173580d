#include <platform/BalloonSink.h>

namespace {

class CNoBalloons : public CBalloonSink {
public:
    void ShowBalloon(const std::string&, const std::string&) override {}
};

CBalloonSink* g_current = nullptr;

} // namespace

CBalloonSink::~CBalloonSink() = default;

CBalloonSink& CBalloonSink::Current()
{
    static CNoBalloons none;
    return g_current ? *g_current : none;
}

CBalloonSink* CBalloonSink::SetCurrent(CBalloonSink* sink)
{
    CBalloonSink* previous = g_current;
    g_current = sink;
    return previous;
}

void CBalloonSink::Show(const std::string& title, const std::string& text)
{
    Current().ShowBalloon(title, text);
}

void CBalloonSink::ShowNotice(const std::string& title, const std::string& text, const CDateTime&)
{
    ShowBalloon(title, text);
}

void CBalloonSink::Show(const std::string& title, const std::string& text, const CDateTime& day)
{
    Current().ShowNotice(title, text, day);
}
