#include "agent/agent_state.h"

AgentState gAgent;
