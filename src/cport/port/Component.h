#pragma once
// The little of the desktop framework's component model the port needs: a
// name (the window's port is "Serial"; the settings storage uses it as the
// ini section) and the states of a form that is being loaded from a stored
// description or edited in a designer.
//
// A program without stored form descriptions never sets these states; tests
// and a form loader set them with SetComponentState and finish loading with
// Loaded(). All of it runs on the thread that owns the component.
#include <cstdint>
#include <string>
#include <utility>

#include "cport/port/Flags.h"

namespace cport {

enum class ComponentStateFlag : std::uint8_t { csLoading, csDesigning };
using ComponentState = Flags<ComponentStateFlag, std::uint8_t>;

class TComponent {
 public:
  virtual ~TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const noexcept { return name_; }
  void SetName(std::string Name) { name_ = std::move(Name); }

  ComponentState State() const noexcept { return state_; }
  void SetComponentState(ComponentState State) noexcept { state_ = State; }
  bool Loading() const noexcept { return state_.Contains(ComponentStateFlag::csLoading); }
  bool Designing() const noexcept { return state_.Contains(ComponentStateFlag::csDesigning); }

  // End of loading: leaves the loading state. Overrides call this first.
  virtual void Loaded() { state_.Exclude(ComponentStateFlag::csLoading); }

 protected:
  TComponent() = default;

 private:
  std::string name_;
  ComponentState state_;
};

}  // namespace cport
