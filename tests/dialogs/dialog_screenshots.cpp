// Shows both dialogs as a user sees them and saves a picture of each for the README:
//   dialog_screenshots.exe <unix folder>
// Run by docs/make-screenshots.sh under the test display. Not a test: it asserts nothing.
#include <stdio.h>
#include <string>

#include "dialogs/resource.h"
#include "dialogs/select_collection_dlg.h"
#include "support/dialog_driver.h"
#include "support/tallybook_key.h"

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        fprintf(stderr, "usage: dialog_screenshots <unix folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    tallybook_key::DeleteAll();
    const char* names[] = {"Work", "Home", "Travel", "Receipts", "Family photos"};
    for (int i = 0; i < 5; ++i)
    {
        tallybook_key::StoreName(i + 1, names[i]);
    }

    bool saved[2] = {false, false};
    DialogDriver driver;
    driver
        .Then([&](HWND dialog) {
            SelectEntry(dialog, IDC_COLLECTION_LIST, 3);
            saved[0] = SaveDialogScreenshot(dialog, folder + "/select-collection.png");
            Click(dialog, IDC_NEW_COLLECTION);
            Click(dialog, IDCANCEL);
        })
        .Then([&](HWND dialog) {
            TypeText(dialog, IDC_COLLECTION_NAME, "Conference 2026");
            saved[1] = SaveDialogScreenshot(dialog, folder + "/new-collection.png");
            Click(dialog, IDCANCEL);
        });
    CSelectCollectionDlg dialog(NULL);
    dialog.DoModal();
    tallybook_key::DeleteAll();
    printf("select-collection.png %s\nnew-collection.png %s\n", saved[0] ? "saved" : "FAILED",
           saved[1] ? "saved" : "FAILED");
    return saved[0] && saved[1] ? 0 : 1;
}
