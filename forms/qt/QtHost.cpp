#include "forms/qt/QtHost.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVariant>
#include <QWidget>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "forms/AccessibleName.h"

namespace vornex {

namespace {

QString Q(const std::string& s) { return QString::fromLocal8Bit(s.c_str(), static_cast<int>(s.size())); }
std::string S(const QString& s) { return s.toLocal8Bit().toStdString(); }

QFont FontOf(const TFont& f, const QFont& base) {
  QFont font = base;
  if (!f.Name.empty()) {
    font.setFamilies({Q(f.Name), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
  }
  if (f.Height > 0) font.setPixelSize(f.Height);
  return font;
}

// The port box raises its drop-down event before the list shows, so the
// list can be rebuilt first.
class TDropDownCombo : public QComboBox {
 public:
  using QComboBox::QComboBox;
  std::function<void()> BeforePopup;
  void showPopup() override {
    if (BeforePopup) BeforePopup();
    // As wide as the widest entry, within the screen, so that an entry is
    // cut, if at all, at its end: a printer's address and port stay whole
    // and its long name gives way.
    int widest = 0;
    const QFontMetrics metrics = view()->fontMetrics();
    for (int i = 0; i < count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(itemText(i)));
    const int margins = 2 * view()->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
    const int room = screen() ? screen()->availableGeometry().width() : widest + margins;
    view()->setMinimumWidth(std::min(widest + margins, room));
    QComboBox::showPopup();
  }
};

// Enter in a box's edit field is neither a pick nor an edit, as in a native
// drop-down box; Qt would take it as choosing the item the text matches.
class TEnterIgnorer : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) return true;
    }
    return QObject::eventFilter(watched, event);
  }
};

// Enter on a push button that has the focus presses it, as on Windows
// (Space already does).
class TEnterPresses : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      auto* button = qobject_cast<QPushButton*>(watched);
      if (button && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        if (!key->isAutoRepeat() && button->isEnabled()) button->click();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

// A control outside the client area is no Tab stop, nor are the widgets it
// is made of; a click or the accessibility interface still reaches it. The
// policy each had is kept, for a control that moves back in.
void SetTabStop(QWidget* w, bool on) {
  QList<QWidget*> all = w->findChildren<QWidget*>();
  all.prepend(w);
  for (QWidget* x : all) {
    const QVariant kept = x->property("vornexFocusPolicy");
    const int policy = kept.isValid() ? kept.toInt() : int(x->focusPolicy());
    if (!kept.isValid()) x->setProperty("vornexFocusPolicy", policy);
    x->setFocusPolicy(static_cast<Qt::FocusPolicy>(on ? policy : policy & ~int(Qt::TabFocus)));
  }
}

// A window that passes the user's close request and the files dropped on it
// to its form.
class TFormWidget : public QWidget {
 public:
  explicit TFormWidget(TForm& form) : Form(form) { setAcceptDrops(form.AcceptsFiles()); }

  // A drop lands on the window wherever it is let go, the file box included,
  // whose own drop would paste the file's address in as text.
  void TakeDropsFromChildren() {
    for (QWidget* child : findChildren<QWidget*>()) child->setAcceptDrops(false);
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    // The model decides; the window hides only as the model says.
    event->ignore();
    Form.UserClose();
  }

  // One file of this machine is taken; anything else (text, a web link, a
  // folder, several files) is refused while it is dragged over.
  void dragEnterEvent(QDragEnterEvent* event) override {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
  }
  void dragMoveEvent(QDragMoveEvent* event) override {
    if (!DroppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
  }
  void dropEvent(QDropEvent* event) override {
    const QString file = DroppedFile(event->mimeData());
    if (file.isEmpty()) return;
    event->acceptProposedAction();
    Form.DropFiles({S(file)});
  }

 private:
  static QString DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().front();
    if (!url.isLocalFile()) return {};
    const QFileInfo info(url.toLocalFile());
    return info.isFile() ? info.absoluteFilePath() : QString();
  }

  TForm& Form;
};

// Two arrow buttons that step a buddy edit box.
class TUpDownWidget : public QWidget {
 public:
  TUpDownWidget(QWidget* parent, TUpDown& model, QObject* link) : QWidget(parent) {
    auto* up = new QToolButton(this);
    auto* down = new QToolButton(this);
    up->setArrowType(Qt::UpArrow);
    down->setArrowType(Qt::DownArrow);
    up->setAccessibleName(QStringLiteral("Up"));
    down->setAccessibleName(QStringLiteral("Down"));
    const TRect& r = model.Bounds();
    up->setGeometry(0, 0, r.Width, r.Height / 2);
    down->setGeometry(0, r.Height / 2, r.Width, r.Height - r.Height / 2);
    QObject::connect(up, &QToolButton::clicked, link, [&model] { model.Step(true); });
    QObject::connect(down, &QToolButton::clicked, link, [&model] { model.Step(false); });
  }
};

}  // namespace

struct TQtHost::TImpl {
  std::unique_ptr<QApplication> App;
  QObject Waker;
  std::unordered_map<const TComponent*, QObject*> Widgets;
  std::unordered_set<const TComponent*> Windows;
  std::vector<QEventLoop*> ModalLoops;
  // Each component's connections run in the context of its link, so that
  // deleting the link cuts them all when the component goes before its
  // window, and nothing else: Qt's own connections (the accessibility
  // cache's among them) stay.
  std::unordered_map<const TComponent*, QObject*> Links;
  // Non-zero while the model's changes are being shown: what the widgets
  // then report is the model's own doing, not the user's.
  int Updating = 0;

  QObject* LinkFor(const TComponent& c, QObject* window) { return Links[&c] = new QObject(window); }
  // Connects what a widget reports to the model, unless the model caused it.
  template <typename TSender, typename TSignal, typename TCall>
  void FromUser(QObject* link, TSender* sender, TSignal signal, TCall call) {
    QObject::connect(sender, signal, link, [this, call](auto... args) {
      if (Updating == 0) call(args...);
    });
  }

  QWidget* Widget(const TComponent& c) const {
    auto it = Widgets.find(&c);
    return it == Widgets.end() ? nullptr : qobject_cast<QWidget*>(it->second);
  }
};

TQtHost::TQtHost(int& argc, char** argv) : Impl(std::make_unique<TImpl>()) {
  Impl->App = std::make_unique<QApplication>(argc, argv);
  QObject* waker = &Impl->Waker;
  SyncQueue()->SetWaker([this, waker] {
    QMetaObject::invokeMethod(waker, [this] { CheckSynchronize(); }, Qt::QueuedConnection);
  });
}

TQtHost::~TQtHost() {
  SyncQueue()->SetWaker(nullptr);
  for (auto& [component, widget] : Impl->Widgets) const_cast<TComponent*>(component)->SetObserver(nullptr);
}

QWidget* TQtHost::WidgetOf(const TComponent& component) const { return Impl->Widget(component); }

void TQtHost::Attach(TForm& form) {
  auto* window = new TFormWidget(form);
  window->setAttribute(Qt::WA_DeleteOnClose, false);
  Impl->Widgets[&form] = window;
  Impl->Windows.insert(&form);
  form.SetObserver(this);
  window->setWindowTitle(Q(form.Caption()));
  if (!Icon.empty()) window->setWindowIcon(QIcon::fromTheme(Q(Icon)));
  window->setFont(FontOf(form.Font(), QApplication::font()));
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (form.SystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (form.MinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
  window->setWindowFlags(flags);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
  QObject::connect(escape, &QShortcut::activated, [&form] { form.PressEscape(); });

  for (TComponent* c : form.Components()) {
    if (c == &form) continue;
    c->SetObserver(this);
    QObject* link = Impl->LinkFor(*c, window);
    if (auto* timer = dynamic_cast<TTimer*>(c)) {
      auto* qt = new QTimer(window);
      Impl->Widgets[c] = qt;
      QObject::connect(qt, &QTimer::timeout, link, [timer] { timer->Tick(); });
      Changed(*c, TProp::Timer);
      continue;
    }
    auto* control = dynamic_cast<TControl*>(c);
    if (!control) continue;
    QWidget* parent = control->Parent() ? Impl->Widget(*control->Parent()) : window;
    QWidget* w = nullptr;
    switch (control->Kind()) {
      case TControlKind::GroupBox: {
        auto* box = new QGroupBox(Q(static_cast<TGroupBox*>(control)->Caption()), parent);
        // The caption on the frame's top line, as a native group box has it,
        // so the controls inside stand where they were laid out.
        box->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
            " left: 7px; padding: 0px 2px; }"));
        w = box;
        break;
      }
      case TControlKind::Label:
        w = new QLabel(Q(static_cast<TLabel*>(control)->Caption()), parent);
        break;
      case TControlKind::Edit: {
        auto* model = static_cast<TEdit*>(control);
        auto* edit = new QLineEdit(Q(model->Text()), parent);
        // Every change, typed or made through the accessibility interface.
        Impl->FromUser(link, edit, &QLineEdit::textChanged, [model](const QString& t) { model->SetText(S(t)); });
        w = edit;
        break;
      }
      case TControlKind::Button: {
        auto* model = static_cast<TButton*>(control);
        auto* button = new QPushButton(Q(model->Caption()), parent);
        button->setAutoDefault(false);
        button->installEventFilter(new TEnterPresses(button));
        QObject::connect(button, &QPushButton::clicked, link, [model] { model->Click(); });
        w = button;
        break;
      }
      case TControlKind::CheckBox: {
        auto* model = static_cast<TCheckBox*>(control);
        auto* box = new QCheckBox(Q(model->Caption()), parent);
        box->setChecked(model->Checked());
        // Toggled, not clicked: an assistive tool's toggle action clicks nothing.
        Impl->FromUser(link, box, &QCheckBox::toggled, [model](bool on) { model->SetChecked(on); });
        w = box;
        break;
      }
      case TControlKind::ComboBox: {
        auto* model = static_cast<TComboBox*>(control);
        auto* combo = new TDropDownCombo(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        // Qt cuts an entry in its middle, which would hide a printer's port.
        combo->view()->setTextElideMode(Qt::ElideRight);
        combo->BeforePopup = [model] { model->DropDown(); };
        combo->lineEdit()->installEventFilter(new TEnterIgnorer(combo));
        Impl->FromUser(link, combo, QOverload<int>::of(&QComboBox::activated),
                       [model](int index) { model->Pick(index); });
        // Every change of the edit field, typed or made through the
        // accessibility interface, is an edit; but a pick sets the field to
        // the item before it is reported, and is not.
        Impl->FromUser(link, combo->lineEdit(), &QLineEdit::textChanged, [combo, model](const QString& t) {
          const int index = combo->currentIndex();
          if (index >= 0 && index != model->ItemIndex() && combo->itemText(index) == t) return;
          const std::string text = S(t);
          if (text != model->Text()) model->TypeText(text);
        });
        w = combo;
        break;
      }
      case TControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        w = bar;
        break;
      }
      case TControlKind::Memo: {
        auto* memo = new QPlainTextEdit(parent);
        memo->setReadOnly(true);
        w = memo;
        break;
      }
      case TControlKind::UpDown:
        w = new TUpDownWidget(parent, *static_cast<TUpDown*>(control), link);
        break;
      default:
        break;
    }
    if (!w) continue;
    Impl->Widgets[c] = w;
    for (TProp p : {TProp::Bounds, TProp::Font, TProp::Enabled, TProp::Visible, TProp::Hint,
                    TProp::Items, TProp::Text, TProp::Range, TProp::Position, TProp::Lines})
      Changed(*c, p);
  }
  // Once every widget exists: a label may be declared after the box it names.
  for (TComponent* c : form.Components())
    if (c != &form) Changed(*c, TProp::AccessibleName);
  Changed(form, TProp::Bounds);
  if (form.AcceptsFiles()) window->TakeDropsFromChildren();
  if (form.Visible()) ShowForm(form, true);
}

void TQtHost::Changed(TComponent& component, TProp what) {
  QObject* object = Impl->Widgets.count(&component) ? Impl->Widgets[&component] : nullptr;
  if (!object) return;
  if (auto* timer = qobject_cast<QTimer*>(object)) {
    auto& model = static_cast<TTimer&>(component);
    if (model.Enabled() && model.Interval() > 0)
      timer->start(model.Interval());
    else
      timer->stop();
    return;
  }
  auto* w = qobject_cast<QWidget*>(object);
  auto& control = static_cast<TControl&>(component);
  ++Impl->Updating;
  struct TDone {
    int& Count;
    ~TDone() { --Count; }
  } done{Impl->Updating};
  switch (what) {
    case TProp::Bounds: {
      const TRect& r = control.Bounds();
      if (control.Kind() == TControlKind::Form) {
        auto& form = static_cast<TForm&>(control);
        if (form.AutoSize) {
          QRect all;
          for (QWidget* child : w->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            all = all.united(child->geometry());
          w->setFixedSize(all.right() + 1, all.bottom() + 1);
        } else {
          w->setFixedSize(r.Width, r.Height);
        }
        w->move(r.Left, r.Top);
      } else if (control.Kind() == TControlKind::Label) {
        w->move(r.Left, r.Top);
        w->adjustSize();
      } else {
        w->setGeometry(r.Left, r.Top, r.Width, r.Height);
        SetTabStop(w, control.InClientArea());
      }
      break;
    }
    case TProp::Font:
      w->setFont(FontOf(control.EffectiveFont(), QApplication::font()));
      if (control.Kind() == TControlKind::Label) w->adjustSize();
      break;
    case TProp::Enabled:
      w->setEnabled(control.Enabled());
      break;
    case TProp::Visible:
      if (control.Kind() != TControlKind::Form) w->setVisible(control.Visible());
      break;
    case TProp::Hint:
      w->setToolTip(Q(control.Hint()));
      break;
    case TProp::AccessibleName: {
      const QString name = Q(AccessibleNameOf(control));
      w->setAccessibleName(name);
      // A screen reader lands in a box's edit field, not on the box ...
      if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(name);
      // ... and on Linux it names a combo box by the label that points to it.
      if (const TControl* label = AccessibleLabelOf(control))
        if (auto* shown = qobject_cast<QLabel*>(Impl->Widget(*label))) shown->setBuddy(w);
      break;
    }
    case TProp::Caption:
      switch (control.Kind()) {
        case TControlKind::Form: w->setWindowTitle(Q(static_cast<TForm&>(control).Caption())); break;
        case TControlKind::GroupBox: static_cast<QGroupBox*>(w)->setTitle(Q(static_cast<TGroupBox&>(control).Caption())); break;
        case TControlKind::Label:
          static_cast<QLabel*>(w)->setText(Q(static_cast<TLabel&>(control).Caption()));
          w->adjustSize();
          break;
        case TControlKind::Button: static_cast<QPushButton*>(w)->setText(Q(static_cast<TButton&>(control).Caption())); break;
        default: break;
      }
      break;
    case TProp::Checked:
      if (auto* box = qobject_cast<QCheckBox*>(w)) box->setChecked(static_cast<TCheckBox&>(control).Checked());
      break;
    case TProp::Text:
      if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        QString t = Q(static_cast<TEdit&>(control).Text());
        if (edit->text() != t) edit->setText(t);
      } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QString t = Q(static_cast<TComboBox&>(control).Text());
        if (combo->currentText() != t) combo->setEditText(t);
      }
      break;
    case TProp::Items:
    case TProp::ItemIndex:
      if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->lineEdit()) {
        auto& model = static_cast<TComboBox&>(control);
        QSignalBlocker block(combo);
        // Refilling the list or choosing no item empties the edit field:
        // what the user sees there, and the caret, are put back.
        QLineEdit* field = combo->lineEdit();
        const QString before = field->text();
        const int caret = field->cursorPosition();
        const int selectionStart = field->selectionStart();
        const int selectionLength = field->selectionLength();
        if (what == TProp::Items) {
          combo->clear();
          for (const auto& item : model.Items()) combo->addItem(Q(item));
        }
        if (combo->currentIndex() != model.ItemIndex()) combo->setCurrentIndex(model.ItemIndex());
        const QString text = Q(model.Text());
        if (field->text() != text) field->setText(text);
        if (text == before) {
          if (selectionLength > 0)
            field->setSelection(selectionStart, selectionLength);
          else
            field->setCursorPosition(caret);
        }
      }
      break;
    case TProp::Range:
    case TProp::Position:
      if (auto* bar = qobject_cast<QProgressBar*>(w)) {
        const auto shown = static_cast<TProgressBar&>(control).Shown();
        bar->setRange(shown.Min, shown.Max);
        bar->setValue(shown.Position);
      }
      break;
    case TProp::Lines:
      if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        QStringList lines;
        for (const auto& line : static_cast<TMemo&>(control).Lines()) lines << Q(line);
        memo->setPlainText(lines.join('\n'));
      }
      break;
    case TProp::Repaint:
      w->repaint();
      break;
    case TProp::ModalResult:
      if (static_cast<TForm&>(control).ModalResult() != mrNone)
        for (QEventLoop* loop : Impl->ModalLoops) loop->quit();
      break;
    default:
      break;
  }
}

void TQtHost::Destroyed(TComponent& component) {
  // Called from the component's destructor: only its address may be used.
  auto it = Impl->Widgets.find(&component);
  if (it == Impl->Widgets.end()) return;
  QObject* object = it->second;
  Impl->Widgets.erase(it);
  // A form goes last, after its controls; its window takes their widgets along.
  if (Impl->Windows.erase(&component)) {
    delete object;
    return;
  }
  // A control or timer that goes before its form keeps its widget until the
  // window goes, but nothing may reach the destroyed model any more.
  if (auto link = Impl->Links.find(&component); link != Impl->Links.end()) {
    delete link->second;
    Impl->Links.erase(link);
  }
  if (auto* timer = qobject_cast<QTimer*>(object)) timer->stop();
  if (auto* combo = dynamic_cast<TDropDownCombo*>(object)) combo->BeforePopup = nullptr;
}

void TQtHost::ShowForm(TForm& form, bool visible) {
  QWidget* w = Impl->Widget(form);
  if (!w) return;
  if (visible) {
    w->show();
    w->raise();
    w->activateWindow();
  } else {
    w->hide();
  }
}

int TQtHost::ShowModal(TForm& form) {
  QWidget* w = Impl->Widget(form);
  if (!w) return mrCancel;
  form.SetVisible(true);
  w->setWindowModality(Qt::ApplicationModal);
  w->show();
  w->raise();
  w->activateWindow();
  QEventLoop loop;
  Impl->ModalLoops.push_back(&loop);
  QPointer<QWidget> guard(w);
  if (form.ModalResult() == mrNone) loop.exec();
  Impl->ModalLoops.pop_back();
  if (guard) {
    guard->hide();
    guard->setWindowModality(Qt::NonModal);
  }
  form.SetVisible(false);
  return form.ModalResult();
}

void TQtHost::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, Q(Title), Q(text), QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

bool TQtHost::ExecuteOpenDialog(TOpenDialog& dialog) {
  QString filter = dialog.Filter.empty() ? QString() : Q(dialog.Filter);
  QString name = QFileDialog::getOpenFileName(QApplication::activeWindow(), QStringLiteral("Open"),
                                              Q(dialog.InitialDir), filter);
  if (name.isEmpty()) return false;
  dialog.FileName = S(QFileInfo(name).absoluteFilePath());
  return true;
}

int TQtHost::Run() { return QApplication::exec(); }

void TQtHost::Terminate() { QApplication::quit(); }

}  // namespace vornex
