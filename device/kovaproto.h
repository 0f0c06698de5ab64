// Wire protocol between the device libraries and the crate server.
#pragma once
