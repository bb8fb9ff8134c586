#include "HostScript.h"

std::wstring TAnswerMessage::Describe() const {
  std::wstring text =
      Button < 0 ? L"cancel the message (Esc)" : L"answer the message with button " + std::to_wstring(Button);
  if (!Expect.empty())
    text += L" (expecting \"" + Expect + L"\")";
  return text;
}

std::wstring TPickMenuItem::Describe() const {
  std::wstring text = Index < 0 ? L"cancel the menu (Esc)" : L"pick menu item " + std::to_wstring(Index);
  if (BreakKey >= 0)
    text += L" with break key " + std::to_wstring(BreakKey);
  if (!Expect.empty())
    text += L" (expecting \"" + Expect + L"\")";
  return text;
}

THostScript &THostScript::Add(std::unique_ptr<THostStep> step) {
  FSteps.push_back(std::move(step));
  return *this;
}

std::vector<std::wstring> THostScript::Remaining() const {
  std::vector<std::wstring> out;
  for (const auto &step : FSteps)
    out.push_back(step->Describe());
  return out;
}
