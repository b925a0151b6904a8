// Puts the link codes on the clipboard when it opens and, unless the user turned the
// notice off, tells that they are there.
#pragma once

#include "Dialog.h"
#include "UploadedImage.h"

namespace lumexia {

class FormClip : public Dialog {
public:
    explicit FormClip(const UploadedList* images) : images_(images) {}

protected:
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    BOOL OnInit();
    void OnOk();

    const UploadedList* images_;
};

} // namespace lumexia
