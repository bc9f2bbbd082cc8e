// Drives the rule action's collection dialogs from a script, on the thread that shows them, the
// way a user would: clicks, typing, list selection. Steps, separated by ';':
//   new:<name>    press "New >>", type the name in the new-collection dialog, press OK
//   pick:<name>   select the listed collection of that name
//   shot:<file>   save a picture of the select-collection dialog as a .bmp file
//   newshot:<file> the next new-collection dialog: save its picture once the name is typed
//   ok | cancel   press OK or Cancel
// Without a closing ok/cancel the dialog stays open for the user.
#pragma once

#include <string>
#include <vector>

class DialogDriver
{
public:
    explicit DialogDriver(const std::string& script);
    ~DialogDriver();

    // What went wrong while driving (a step that found no control, say); empty when nothing.
    const std::vector<std::string>& problems() const;
    // Files written by shot: steps.
    const std::vector<std::string>& shots() const;

private:
    DialogDriver(const DialogDriver&);
    DialogDriver& operator=(const DialogDriver&);
};

// Saves what the screen shows of the window as a 24-bit .bmp file.
bool SaveWindowPicture(void* window, const std::string& path);
