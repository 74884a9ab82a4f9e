#pragma once
#define IDB_CALCULATOR 101
