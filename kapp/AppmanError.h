// The data manager's numbered error; the catcher decides what to show by the code.
//
//   9  the portable manager is created for a user who is not an administrator
//  10  Stop on a manager that is not started
//  11  a started manager is released (see DeleteApplicationManager)
//  12  Start or a registration on a started manager
//  13  a registry section's root name holds "/" or "\" or names no registry root
//  17  an archive that is to be read does not exist
#pragma once

#include <exception>

namespace kapp {

class CAppmanError : public std::exception {
public:
    explicit CAppmanError(int code, int detail = 0) : code(code), detail(detail) {}
    const char* what() const noexcept override { return "application manager error"; }
    int code;
    int detail;
};

}  // namespace kapp
