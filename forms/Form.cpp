#include "forms/Form.h"

#include "forms/Host.h"

namespace vornex {

TForm::TForm(THost& host, std::string name, std::string caption, TRect bounds)
    : TContainer(nullptr, std::move(name), bounds), FormHost(host), CaptionText(std::move(caption)) {
  OwnerForm = this;
  ComponentList.insert(ComponentList.begin(), this);
  SetVisible(false);
  if (!FormHost.MainForm) FormHost.MainForm = this;
}

TForm::~TForm() {
  if (FormHost.MainForm == this) FormHost.MainForm = nullptr;
}

void TForm::SetCaption(const std::string& c) {
  if (c == CaptionText) return;
  CaptionText = c;
  Notify(TProp::Caption);
}

TComponent* TForm::FindComponent(const std::string& name) const {
  for (TComponent* c : ComponentList)
    if (c->Name() == name) return c;
  return nullptr;
}

void TForm::SetModalResult(int r) {
  Result = r;
  Notify(TProp::ModalResult);
}

void TForm::Show() {
  SetVisible(true);
  FormHost.ShowForm(*this, true);
}

void TForm::Hide() {
  SetVisible(false);
  FormHost.ShowForm(*this, false);
}

int TForm::ShowModal() {
  Result = mrNone;
  ++ModalDepth;
  const int result = FormHost.ShowModal(*this);
  --ModalDepth;
  return result;
}

void TForm::Close() {
  Hide();
  if (FormHost.MainForm == this) FormHost.Terminate();
}

bool TForm::UserClose() {
  if (!SystemMenu) return false;
  if (ModalDepth > 0)
    SetModalResult(mrCancel);
  else
    Close();
  return true;
}

void TForm::PressEscape() {
  for (TComponent* c : ComponentList) {
    auto* button = dynamic_cast<TButton*>(c);
    if (button && button->Cancel && button->Reachable()) {
      button->Click();
      return;
    }
  }
}

void TForm::DropFiles(const std::vector<std::string>& files) {
  if (OnDropFiles) Fire([&] { OnDropFiles(files); });
}

}  // namespace vornex
