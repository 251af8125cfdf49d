// The five status-bar buttons of the viewer, which the keyboard handler
// presses on the user's behalf.
#pragma once

enum class ViewerButton { Delete, Undo, GetMail, Settings, SizeToggle };
