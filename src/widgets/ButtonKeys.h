// Enter and Return on a focused push button click it, as Space does. The program's
// dialogs have no default button, so without this the keystroke would pass the button
// and reach the window behind it: in the main window, Enter on a focused "系统设置"
// would end the program instead of opening the settings. UI thread only.
#pragma once

class QAbstractButton;

// From now on Enter and Return on the button, while it is enabled, click it; the
// handler lives as long as the button.
void ClickOnEnter(QAbstractButton* button);
