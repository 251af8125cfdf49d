// The agents that run from one installation's executable.
#pragma once

// Ends every agent started from agentExe (a full long path): each is asked
// to shut down in order as "Отключить Агента" does, and one that does not
// end in time, or has no agent window yet, is terminated. Agents of other
// installations go on. True when one ran.
bool endInstallationAgents(const char* agentExe);
