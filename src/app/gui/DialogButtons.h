#pragma once
// The OK / Cancel pair of the program's dialogs, in a right-aligned row:
// "OK" (BitBtn1, the default button) runs onOk, "Cancel" (BitBtn2) rejects.

#include <functional>

class QDialog;
class QHBoxLayout;

QHBoxLayout* OkCancelRow(QDialog* dialog, std::function<void()> onOk);
