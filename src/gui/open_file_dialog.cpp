#include "gui/open_file_dialog.h"

#include <QFileDialog>
#include <QString>
#include <memory>

namespace quoldex::gui {

QStringList NameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QStringList patterns;
    for (QString pattern : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      pattern = pattern.trimmed();
      patterns << (pattern == "*.*" ? QStringLiteral("*") : pattern);
    }
    if (patterns.isEmpty()) continue;
    if (description.endsWith(')')) {
      const qsizetype open = description.lastIndexOf('(');
      if (open >= 0) description = description.left(open).trimmed();
    }
    filters << description + " (" + patterns.join(' ') + ")";
  }
  return filters;
}

QFileDialog* MakeOpenFileDialog(const ui::OpenDialog& settings, QWidget* parent) {
  auto* dialog = new QFileDialog(parent);
  dialog->setObjectName("openDialog");
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(settings.multi_select ? QFileDialog::ExistingFiles
                                            : QFileDialog::ExistingFile);
  dialog->setWindowTitle(settings.title.empty() ? QStringLiteral("Open")
                                                : QString::fromStdString(settings.title));
  const QStringList filters = NameFilters(settings.filter);
  if (!filters.isEmpty()) {
    dialog->setNameFilters(filters);
    dialog->selectNameFilter(filters.front());
  }
  if (!settings.initial_dir.empty()) {
    dialog->setDirectory(QString::fromStdString(settings.initial_dir));
  }
  if (!settings.default_extension.empty()) {
    dialog->setDefaultSuffix(QString::fromStdString(settings.default_extension));
  }
  return dialog;
}

std::optional<std::vector<std::string>> ChooseFiles(const ui::OpenDialog& settings,
                                                    QWidget* parent) {
  std::unique_ptr<QFileDialog> dialog(MakeOpenFileDialog(settings, parent));
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> files;
  for (const QString& file : dialog->selectedFiles()) {
    files.push_back(QDir::toNativeSeparators(file).toStdString());
  }
  if (files.empty()) return std::nullopt;
  return files;
}

}  // namespace quoldex::gui
