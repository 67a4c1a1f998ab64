#pragma once
// The automation classes the office layer serves.

// Registers "Excel.Application" and "com.sun.star.ServiceManager" (both served
// by LibreOffice) with the class registry. Start-up calls it before any
// conversion; only the first call of a process registers, later ones change
// nothing (a test's own registration stays in place). Thread-safe.
void TkvRegisterOfficeClasses();
