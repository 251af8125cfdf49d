#include "core/agent_state.h"

AgentState gAgent;
