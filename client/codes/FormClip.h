// Puts the link codes on the clipboard when it opens and, unless the user turned the
// notice off, tells that they are there.
#pragma once

#include "framework/Dialog.h"
#include "service/UploadedImage.h"

namespace lumexia {

class FormClip : public Dialog {
public:
    // Whether the codes are on the clipboard when the dialog ends.
    enum Result { kNotCopied = 0, kCopied = 1 };

    explicit FormClip(const UploadedList* images) : images_(images) {}

    // Modal; kNotCopied also when the dialog could not be shown.
    Result Run(HWND owner);

protected:
    BOOL OnInit() override;
    // Only OK closes the notice; Esc and Enter do nothing.
    bool OnButton(int id) override;

private:
    void OnOk();

    const UploadedList* images_;
};

} // namespace lumexia
