#include "gui/grep_dialog_view.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <string>
#include <vector>

#include "gui/image_list.h"

namespace quoldex::gui {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

// Sets a line edit's text only when it differs, so the cursor stays put
// while the user types.
void ShowText(QLineEdit* edit, const std::string& text) {
  if (edit->text() != Text(text)) edit->setText(Text(text));
}

void ShowText(QComboBox* combo, const std::string& text) {
  if (combo->currentText() != Text(text)) combo->setEditText(Text(text));
}

QPushButton* Button(const QString& caption, const QString& hint, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setToolTip(hint);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

// An editable drop-down whose list is read from its source each time it
// drops down, so it shows the catalogue as it is then.
class LookupComboBox : public QComboBox {
 public:
  LookupComboBox(std::function<std::vector<std::string>()> source, QWidget* parent)
      : QComboBox(parent), source_(std::move(source)) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
  }
  void showPopup() override {
    const QString typed = currentText();
    const QSignalBlocker quiet(this);
    clear();
    for (const std::string& item : source_()) addItem(Text(item));
    setEditText(typed);
    QComboBox::showPopup();
  }

 private:
  std::function<std::vector<std::string>()> source_;
};

GrepDialogView::GrepDialogView(grep::TdlgGrep& model, Runner run, QWidget* main_window)
    : QDialog(main_window),
      model_(model),
      run_(std::move(run)),
      main_window_(main_window),
      search_for_(new QLineEdit(this)),
      scopes_(new QButtonGroup(this)),
      ancestor_of_(new LookupComboBox([&model] { return model.AncestorOfItems(); }, this)),
      directory_(new QLineEdit(this)),
      directory_button_(new QToolButton(this)),
      mask_(new QComboBox(this)),
      package_(new LookupComboBox([&model] { return model.PackageItems(); }, this)),
      results_(new QTreeWidget(this)),
      go_(Button("Go", "Start Search", this)),
      cancel_(Button("Cancel", "", this)),
      close_(Button("Close", "", this)),
      edit_(Button("Edit", "Edit File", this)),
      browse_(Button("Browse", "Navigate to class in browser", this)),
      status_line_(new QLabel(this)) {
  setObjectName("dlgGrep");
  setWindowTitle(grep::TdlgGrep::kCaption);
  setWindowIcon(AppIcon());

  // The framed area: search text, scopes and their inputs.
  auto* frame = new QGroupBox(this);
  auto* frame_layout = new QGridLayout(frame);
  auto* search_label = new QLabel("Search for:", frame);
  search_label->setBuddy(search_for_);
  search_for_->setObjectName("edtSearchFor");
  search_for_->setToolTip("Text to search files for");
  frame_layout->addWidget(search_label, 0, 0);
  frame_layout->addWidget(search_for_, 0, 1, 1, 3);
  auto* scope_box = new QGroupBox("Search In", frame);
  scope_box->setObjectName("rgrpSearchIn");
  auto* scope_layout = new QGridLayout(scope_box);
  const std::vector<std::string>& items = grep::TdlgGrep::SearchInItems();
  for (size_t i = 0; i < items.size(); ++i) {
    auto* item = new QRadioButton(Text(items[i]), scope_box);
    scopes_->addButton(item, static_cast<int>(i));
    scope_layout->addWidget(item, static_cast<int>(i), 0);
  }
  ancestor_of_->setObjectName("dlcmbAncestorOf");
  scope_layout->addWidget(ancestor_of_, grep::kScopeAncestors, 1, 1, 3);
  directory_->setObjectName("wdcdDirectory");
  directory_button_->setObjectName("wdcdDirectoryButton");
  directory_button_->setText("...");
  mask_->setObjectName("wcmbMask");
  mask_->setEditable(true);
  mask_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& mask : grep::TdlgGrep::MaskItems()) mask_->addItem(Text(mask));
  scope_layout->addWidget(directory_, grep::kScopeDirectory, 1);
  scope_layout->addWidget(directory_button_, grep::kScopeDirectory, 2);
  scope_layout->addWidget(mask_, grep::kScopeDirectory, 3);
  package_->setObjectName("dlcmbPackage");
  scope_layout->addWidget(package_, grep::kScopePackage, 1, 1, 3);
  scope_layout->setColumnStretch(1, 1);
  frame_layout->addWidget(scope_box, 1, 0, 1, 4);

  results_->setObjectName("ListView1");
  results_->setColumnCount(3);
  results_->setHeaderLabels({"Name", "File", "Location"});
  results_->setRootIsDecorated(false);
  results_->setUniformRowHeights(true);
  results_->setSortingEnabled(false);
  results_->setSelectionBehavior(QAbstractItemView::SelectRows);
  results_->setSelectionMode(QAbstractItemView::SingleSelection);
  results_->header()->setMinimumSectionSize(50);
  results_->setColumnWidth(0, 75);
  results_->setColumnWidth(1, 125);

  go_->setObjectName("BitBtn4");
  go_->setDefault(true);
  go_->setAutoDefault(true);
  cancel_->setObjectName("bbtnCancel");
  close_->setObjectName("BitBtn2");
  edit_->setObjectName("BitBtn1");
  browse_->setObjectName("BitBtn3");
  status_line_->setObjectName("StatusBar1");
  status_line_->setFrameShape(QFrame::StyledPanel);
  status_line_->setFrameShadow(QFrame::Sunken);

  auto* top_buttons = new QVBoxLayout;
  top_buttons->addWidget(go_);
  top_buttons->addWidget(cancel_);
  top_buttons->addWidget(close_);
  top_buttons->addStretch(1);
  auto* list_buttons = new QVBoxLayout;
  list_buttons->addWidget(edit_);
  list_buttons->addWidget(browse_);
  list_buttons->addStretch(1);
  auto* grid = new QGridLayout(this);
  grid->addWidget(frame, 0, 0);
  grid->addLayout(top_buttons, 0, 1);
  grid->addWidget(results_, 1, 0);
  grid->addLayout(list_buttons, 1, 1);
  grid->addWidget(status_line_, 2, 0, 1, 2);
  grid->setRowStretch(1, 1);
  setFixedSize(qMax(384, sizeHint().width()), qMax(345, sizeHint().height()));

  // Tab order as designed.
  QWidget* order[] = {search_for_, scopes_->button(0), ancestor_of_, directory_, mask_,
                      package_,    results_,          close_,       cancel_,    edit_,
                      browse_,     go_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  // The user's input goes to the model.
  connect(search_for_, &QLineEdit::textEdited, this, [this](const QString& text) {
    Run([&] { model_.edtSearchForChange(text.toStdString()); });
  });
  connect(ancestor_of_, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (!showing_) Run([&] { model_.SetAncestorOf(text.toStdString()); });
  });
  connect(directory_, &QLineEdit::textEdited, this, [this](const QString& text) {
    Run([&] { model_.SetDirectory(text.toStdString()); });
  });
  connect(mask_, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (!showing_) Run([&] { model_.SetMask(text.toStdString()); });
  });
  connect(package_, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (!showing_) Run([&] { model_.SetPackage(text.toStdString()); });
  });
  connect(scopes_, &QButtonGroup::idClicked, this,
          [this](int scope) { Run([&] { model_.rgrpSearchInClick(scope); }); });
  connect(results_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (showing_) return;
    const int row = item ? results_->indexOfTopLevelItem(item) : -1;
    Run([&] {
      model_.ListView1Click(row < 0 ? std::nullopt : std::optional<size_t>(row));
    });
  });
  connect(results_, &QTreeWidget::itemDoubleClicked, this,
          [this] { Run([&] { model_.actEditExecute(); }); });
  connect(go_, &QPushButton::clicked, this, [this] { Run([&] { model_.actStartSearchExecute(); }); });
  connect(cancel_, &QPushButton::clicked, this, [this] { Run([&] { model_.bbtnCancelClick(); }); });
  connect(close_, &QPushButton::clicked, this, [this] { Run([&] { model_.BitBtn2Click(); }); });
  connect(edit_, &QPushButton::clicked, this, [this] { Run([&] { model_.actEditExecute(); }); });
  connect(browse_, &QPushButton::clicked, this, [this] { Run([&] { model_.actBrowseExecute(); }); });
  connect(directory_button_, &QToolButton::clicked, this,
          [this] { Run([&] { model_.wdcdDirectoryCustomDlg(); }); });

  model_.SetWindow(this);
  GrepChanged(grep::kGrepInputs | grep::kGrepEnabling | grep::kGrepResults | grep::kGrepStatus);
}

GrepDialogView::~GrepDialogView() { model_.SetWindow(nullptr); }

void GrepDialogView::GrepChanged(uint32_t what) {
  showing_ = true;
  if (what & grep::kGrepInputs) ShowInputs();
  if (what & grep::kGrepEnabling) ShowEnabling();
  if (what & grep::kGrepResults) ShowResults();
  if (what & grep::kGrepStatus) status_line_->setText(Text(model_.StatusText()));
  showing_ = false;
  if (what & grep::kGrepWindow) ShowWindow();
}

void GrepDialogView::ShowInputs() {
  ShowText(search_for_, model_.edtSearchFor().text);
  ShowText(ancestor_of_, model_.dlcmbAncestorOf().text);
  ShowText(directory_, model_.wdcdDirectory().text);
  ShowText(mask_, model_.wcmbMask().text);
  ShowText(package_, model_.dlcmbPackage().text);
  if (QAbstractButton* scope = scopes_->button(model_.SearchIn())) {
    scope->setChecked(true);
  } else if (QAbstractButton* checked = scopes_->checkedButton()) {
    scopes_->setExclusive(false);
    checked->setChecked(false);
    scopes_->setExclusive(true);
  }
}

void GrepDialogView::ShowEnabling() {
  search_for_->setEnabled(model_.edtSearchFor().enabled);
  for (QAbstractButton* scope : scopes_->buttons()) scope->setEnabled(model_.SearchInEnabled());
  ancestor_of_->setEnabled(model_.dlcmbAncestorOf().enabled);
  directory_->setEnabled(model_.wdcdDirectory().enabled);
  directory_button_->setEnabled(model_.wdcdDirectory().enabled);
  mask_->setEnabled(model_.wcmbMask().enabled);
  package_->setEnabled(model_.dlcmbPackage().enabled);
  go_->setEnabled(model_.StartSearchEnabled());
  cancel_->setEnabled(model_.CancelEnabled());
  edit_->setEnabled(model_.EditEnabled());
  browse_->setEnabled(model_.BrowseEnabled());
}

void GrepDialogView::ShowResults() {
  const std::vector<grep::GrepResult>& rows = model_.Results();
  const int shown = results_->topLevelItemCount();
  // Rows are only ever appended during a run; anything else starts anew.
  bool prefix = shown <= static_cast<int>(rows.size());
  for (int i = 0; prefix && i < shown; ++i) {
    prefix = results_->topLevelItem(i)->text(1) == Text(rows[i].file);
  }
  if (!prefix) results_->clear();
  QList<QTreeWidgetItem*> added;
  for (size_t i = results_->topLevelItemCount(); i < rows.size(); ++i) {
    added << new QTreeWidgetItem(
        QStringList{Text(rows[i].name), Text(rows[i].file), Text(rows[i].location)});
  }
  results_->addTopLevelItems(added);
  const std::optional<size_t> selected = model_.SelectedRow();
  QTreeWidgetItem* item =
      selected && *selected < rows.size() ? results_->topLevelItem(static_cast<int>(*selected))
                                          : nullptr;
  if (item != results_->currentItem()) results_->setCurrentItem(item);
  if (item == nullptr) results_->clearSelection();
}

void GrepDialogView::ShowWindow() {
  const bool on_top = model_.Style() == grep::WindowStyle::kStayOnTop;
  const bool was_visible = isVisible();
  if (on_top != windowFlags().testFlag(Qt::WindowStaysOnTopHint)) {
    setWindowFlag(Qt::WindowStaysOnTopHint, on_top);  // hides the window
  }
  if (!model_.Visible()) {
    hide();
    if (modal_loop_) modal_loop_->quit();
    return;
  }
  const Qt::WindowModality modality = model_.Modal() ? Qt::ApplicationModal : Qt::NonModal;
  if (windowModality() != modality) {
    hide();
    setWindowModality(modality);
  }
  if (!isVisible()) show();
  if (!was_visible || model_.Focus() == grep::GrepFocus::kSearchFor) {
    raise();
    activateWindow();
  }
  if (model_.Focus() == grep::GrepFocus::kSearchFor) search_for_->setFocus();
}

void GrepDialogView::RunModal() {
  ShowWindow();
  QEventLoop loop;
  modal_loop_ = &loop;
  if (model_.Visible()) loop.exec();
  modal_loop_ = nullptr;
}

void GrepDialogView::BringMainWindowToFront() {
  if (main_window_ == nullptr) return;
  main_window_->raise();
  main_window_->activateWindow();
}

void GrepDialogView::reject() {
  if (model_.CancelEnabled()) Run([&] { model_.bbtnCancelClick(); });
}

void GrepDialogView::closeEvent(QCloseEvent* event) {
  Run([&] { model_.FormClose(); });
  event->accept();
}

}  // namespace quoldex::gui
