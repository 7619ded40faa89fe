#include "ops/gui/OperationForms.h"

#include "ops/BlankCheckWorker.h"
#include "ops/ReadIcWorker.h"
#include "ops/VerifyWorker.h"

namespace {

QFont PixelFont(const char* family, int pixels, bool bold = false) {
  QFont font(family);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

OperationLook BlankCheckLook() {
  OperationLook look;
  look.window = PixelFont("Arial Black", 16);
  look.title = PixelFont("Arial", 27, true);
  look.lines = PixelFont("Arial", 16);
  return look;
}

}  // namespace

TBlankCheckForm::TBlankCheckForm(TMainForm& main)
    : TOperationForm(main, BlankCheckLayout(), BlankCheckWorker, BlankCheckLook()) {
  setObjectName("TBlankCheckForm");
}

TReadForm::TReadForm(TMainForm& main) : TOperationForm(main, ReadIcLayout(), ReadIcWorker) {
  setObjectName("TReadForm");
}

TVerifyForm::TVerifyForm(TMainForm& main) : TOperationForm(main, VerifyLayout(), VerifyWorker) {
  setObjectName("TVerifyForm");
}
