#include <eventview/DialogButton.h>

QPushButton* NewDialogButton(const char* text, const char* name)
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}
