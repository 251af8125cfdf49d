// Starting a poll cycle from below the agent. The poll cycle thread belongs
// to the agent, which hands its starter down when its window is created; the
// mailbox page starts its mailbox test through it.
#pragma once
#include "base/win_handles.h"

// Starts a cycle in the mode the caller put into gAgent and returns a handle
// of the thread of the caller's own (see startPollCycle), or an empty one.
using PollStarter = UniqueHandle (*)();

void setPollStarter(PollStarter starter);

// The agent's starter; an empty handle when it could not start a cycle or
// none was handed down.
UniqueHandle startPoll();
