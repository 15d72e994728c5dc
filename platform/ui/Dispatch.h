#pragma once
// The dispatch boundary. Every event that comes from Qt (click, double click,
// key, focus, paint, activation, close) runs our handlers through Dispatch,
// which catches every exception and hands it to Application->HandleException.
// No exception crosses Qt's event loop.
#include <functional>

class TObject;

// Runs `handler`; returns false when it raised (the error has then been shown).
// Never throws.
bool Dispatch(TObject* sender, const std::function<void()>& handler) noexcept;
