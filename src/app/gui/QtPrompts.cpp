#include "app/gui/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "app/AppTitle.h"

namespace {

QString Caption(const std::string& caption) {
  return QString::fromStdString(caption.empty() ? AppTitle() : caption);
}

QMessageBox::Icon BoxIcon(PromptIcon icon) {
  switch (icon) {
    case PromptIcon::Information: return QMessageBox::Information;
    case PromptIcon::Warning: return QMessageBox::Warning;
    case PromptIcon::Error: return QMessageBox::Critical;
    case PromptIcon::Question: return QMessageBox::Question;
    case PromptIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtPrompts::Message(const std::string& text, const std::string& caption, PromptIcon icon) {
  QMessageBox box(BoxIcon(icon), Caption(caption), QString::fromStdString(text), QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

PromptAnswer QtPrompts::Ask(const std::string& text, const std::string& caption,
                            PromptButtons buttons, PromptIcon icon) {
  QMessageBox::StandardButtons set;
  QMessageBox::StandardButton escape = QMessageBox::Cancel;
  switch (buttons) {
    case PromptButtons::Ok: set = QMessageBox::Ok; escape = QMessageBox::Ok; break;
    case PromptButtons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
    case PromptButtons::YesNo: set = QMessageBox::Yes | QMessageBox::No; escape = QMessageBox::No; break;
    case PromptButtons::AbortIgnore:
      set = QMessageBox::Abort | QMessageBox::Ignore;
      escape = QMessageBox::Abort;
      break;
    case PromptButtons::AbortRetryIgnore:
      set = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
      escape = QMessageBox::Abort;
      break;
  }
  QMessageBox box(BoxIcon(icon), Caption(caption), QString::fromStdString(text), set,
                  QApplication::activeWindow());
  box.setEscapeButton(escape);
  // Enter on a warning that offers Abort must not go ahead: the safe answer
  // is the default there, where Qt would pick Ignore; so on a warning that
  // asks Yes or No (switching the ledger off), where Qt would pick Yes.
  if (escape == QMessageBox::Abort || (escape == QMessageBox::No && icon == PromptIcon::Warning))
    box.setDefaultButton(escape);
  switch (box.exec()) {
    case QMessageBox::Ok: return PromptAnswer::Ok;
    case QMessageBox::Yes: return PromptAnswer::Yes;
    case QMessageBox::No: return PromptAnswer::No;
    case QMessageBox::Abort: return PromptAnswer::Abort;
    case QMessageBox::Retry: return PromptAnswer::Retry;
    case QMessageBox::Ignore: return PromptAnswer::Ignore;
    default: break;
  }
  // Closed by the window manager: the safe answer of the set.
  switch (escape) {
    case QMessageBox::No: return PromptAnswer::No;
    case QMessageBox::Abort: return PromptAnswer::Abort;
    case QMessageBox::Ok: return PromptAnswer::Ok;
    default: return PromptAnswer::Cancel;
  }
}

QStringList QtPrompts::NameFilters(const std::vector<FileFilter>& filters) {
  QStringList out;
  for (const FileFilter& f : filters) {
    QString patterns = QString::fromStdString(f.pattern).split(';', Qt::SkipEmptyParts).join(' ');
    QString name = QString::fromStdString(f.name).trimmed();
    QString tail = "(" + patterns + ")";
    out << (name.endsWith(tail) ? name : name + " " + tail);
  }
  return out;
}

std::optional<FileChoice> QtPrompts::OpenFile(const FileDialogRequest& request) {
  return RunFileDialog(request, false);
}

std::optional<FileChoice> QtPrompts::SaveFile(const FileDialogRequest& request) {
  return RunFileDialog(request, true);
}

std::optional<FileChoice> QtPrompts::RunFileDialog(const FileDialogRequest& request, bool save) {
  QFileDialog dialog(QApplication::activeWindow(), Caption(request.title));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = NameFilters(request.filters);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = request.filterIndex >= 0 && request.filterIndex < filters.size()
                          ? request.filterIndex
                          : 0;
    dialog.selectNameFilter(filters[index]);
  }
  if (!request.initialDir.empty()) dialog.setDirectory(QString::fromStdString(request.initialDir));
  if (!request.defaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
  if (save && !request.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  FileChoice choice;
  choice.path = dialog.selectedFiles().front().toStdString();
  choice.filterIndex = std::max<int>(0, filters.indexOf(dialog.selectedNameFilter()));
  return choice;
}

std::optional<std::string> QtPrompts::AskText(const std::string& text, const std::string& caption,
                                              const std::string& initial) {
  bool ok = false;
  const QString answer = QInputDialog::getText(QApplication::activeWindow(), Caption(caption),
                                               QString::fromStdString(text), QLineEdit::Normal,
                                               QString::fromStdString(initial), &ok);
  if (!ok) return std::nullopt;
  return answer.toStdString();
}
