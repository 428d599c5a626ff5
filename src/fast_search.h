// A faster evaluation of many trials at once, bit for bit the same as the plain one.
#pragma once
