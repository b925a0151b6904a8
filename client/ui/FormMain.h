// The main options dialog (template 101): shows how many pictures are waiting, takes
// more by hand-over and drops, and holds the options of the upload.
#pragma once

#include "Dialog.h"
#include "TaskFile.h"

namespace lumexia {

class FormMain : public Dialog {
public:
    explicit FormMain(JobList* jobs) : jobs_(jobs) {}

    // True once the user asked for the upload and the options were accepted.
    bool UploadRequested() const { return upload_; }

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    BOOL OnInit();
    void OnClose();
    void OnHandOver(WPARAM wParam);
    void OnDropFiles(HDROP drop);
    void ShowFileCount();

    JobList* jobs_;
    bool upload_ = false;
};

} // namespace lumexia
