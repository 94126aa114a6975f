// Resource ids of res/Ask.rc.
#pragma once
