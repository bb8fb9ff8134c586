#pragma once

// The scripted user: a queue of typed steps, each the user's answer to one question the plug-in
// asks (a message, a menu; later dialogs, editor edits and keys). The host takes the front step
// when the plug-in asks; a question with no step left, or with a step of another kind at the
// front, is recorded as a failure and answered with a cancel, so a test never waits.
//
// Subsystems add their own step classes (derived from THostStep) in their own headers and take
// them with Take<T>(); nothing here needs to change for a new kind of step.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class THostStep {
public:
  virtual ~THostStep() = default;
  // What the step does, for failure texts ("answer message with button 1").
  virtual std::wstring Describe() const = 0;
};

// Presses button Button (0 = first) of the next message; -1 is Esc. When Expect is not empty the
// message must contain it (in its title, a line or a button), else the step is a failure.
class TAnswerMessage : public THostStep {
public:
  explicit TAnswerMessage(intptr_t button, std::wstring expect = {})
      : Button(button), Expect(std::move(expect)) {}
  std::wstring Describe() const override;
  intptr_t Button;
  std::wstring Expect;
};

// Picks item Index (0 = first) of the next menu; -1 is Esc. With BreakKey >= 0 the menu is closed
// by that entry of the menu's break keys while item Index is current. Expect as for messages
// (matched against the title, the bottom line and the item texts).
class TPickMenuItem : public THostStep {
public:
  explicit TPickMenuItem(intptr_t index, std::wstring expect = {}, intptr_t breakKey = -1)
      : Index(index), Expect(std::move(expect)), BreakKey(breakKey) {}
  std::wstring Describe() const override;
  intptr_t Index;
  std::wstring Expect;
  intptr_t BreakKey;
};

class THostScript {
public:
  THostScript &Add(std::unique_ptr<THostStep> step);
  template <class T, class... A> THostScript &Then(A &&...args) {
    return Add(std::make_unique<T>(std::forward<A>(args)...));
  }

  THostScript &AnswerMessage(intptr_t button, std::wstring expect = {}) {
    return Then<TAnswerMessage>(button, std::move(expect));
  }
  THostScript &CancelMessage(std::wstring expect = {}) { return Then<TAnswerMessage>(-1, std::move(expect)); }
  THostScript &PickMenuItem(intptr_t index, std::wstring expect = {}) {
    return Then<TPickMenuItem>(index, std::move(expect));
  }
  THostScript &CancelMenu() { return Then<TPickMenuItem>(-1); }
  THostScript &PressMenuBreakKey(intptr_t breakKey, intptr_t index) {
    return Then<TPickMenuItem>(index, std::wstring(), breakKey);
  }

  // A user who makes up an answer when no scripted step is left (a random campaign): called with
  // the question and, for messages and menus, the buttons or items to choose from; the step it
  // returns is taken as if it had been scripted. Null: no step, as without an improviser.
  using TImproviser = std::function<std::unique_ptr<THostStep>(const std::wstring &question,
                                                               const std::vector<std::wstring> &choices)>;
  void SetImproviser(TImproviser improviser) { FImproviser = std::move(improviser); }

  // The front step when it is a T (removed from the queue); otherwise null, and why says what
  // was found instead. question describes what the plug-in asked, for that text.
  template <class T>
  std::unique_ptr<T> Take(const std::wstring &question, std::wstring &why,
                          const std::vector<std::wstring> &choices = {}) {
    if (FSteps.empty() && FImproviser)
      if (auto step = FImproviser(question, choices))
        FSteps.push_back(std::move(step));
    if (FSteps.empty()) {
      why = L"no scripted step left for " + question;
      return nullptr;
    }
    if (auto *step = dynamic_cast<T *>(FSteps.front().get())) {
      FSteps.front().release();
      FSteps.pop_front();
      return std::unique_ptr<T>(step);
    }
    why =
        L"the plug-in showed " + question + L", but the next scripted step is: " + FSteps.front()->Describe();
    return nullptr;
  }

  bool Empty() const { return FSteps.empty(); }
  size_t Size() const { return FSteps.size(); }
  std::vector<std::wstring> Remaining() const;
  void Clear() { FSteps.clear(); }

private:
  std::deque<std::unique_ptr<THostStep>> FSteps;
  TImproviser FImproviser;
};
