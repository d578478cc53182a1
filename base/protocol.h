#pragma once

// The menu-state query and its answer, as the window asks it and a player answers it.
constexpr char kMenuQuery[] = "get_menu_visibility";
constexpr char kMenuAnswer[] = "ANS_MENU_VISIBILITY";
constexpr char kMenuAnswerVisible[] = "ANS_MENU_VISIBILITY=1";
