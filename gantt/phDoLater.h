#pragma once
// Work posted to run later on the window thread. Equal requests queued before the queue runs collapse
// into one, so a burst of changes to a row costs one re-layout.
#include <QtGlobal>

using TDoLaterProc = void (*)(void* object, qintptr param);

// Queues handler(object, param) unless the same request is already waiting. Any thread may call it.
void DoLater(TDoLaterProc handler, void* object, qintptr param);
// Drops every waiting request of this handler and object, except the one running now.
void CancelDoLater(TDoLaterProc handler, void* object);
// Runs what is queued now, on the calling (window) thread; what the posted message also does.
void RunDoLaterQueue();
// Number of requests waiting.
int DoLaterPending();
