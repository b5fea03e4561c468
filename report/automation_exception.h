// The automation exceptions: a call that the spreadsheet application rejects throws one of them.
// They pass through the report code uncaught; the application object catches the common base at
// event dispatch and shows GetErrorMessage() in a stop box.
#pragma once
#include <exception>
#include <string>

#include "core/automation.h"

class CAutomationException : public std::exception {
public:
    // The text shown to the user (UTF-8).
    virtual std::string GetErrorMessage() const = 0;
    const char* what() const noexcept override;

protected:
    // Derived classes set the message once they are fully built.
    void SetMessage(std::string message) { m_message = std::move(message); }

private:
    std::string m_message;
};

// A failing status code other than a server-described exception.
class COleException : public CAutomationException {
public:
    explicit COleException(core::HRESULT sc);
    std::string GetErrorMessage() const override;

    core::HRESULT m_sc;
};

// The server rejected the call and described why (DISP_E_EXCEPTION with exception information).
class COleDispatchException : public CAutomationException {
public:
    explicit COleDispatchException(const core::EXCEPINFO& info);
    COleDispatchException(std::string description, core::WORD wCode = 0, core::HRESULT scError = 0,
                          std::string source = std::string());
    std::string GetErrorMessage() const override;

    core::WORD m_wCode;
    core::HRESULT m_scError;
    std::string m_strSource;
    std::string m_strDescription;
};

// The text for a status code: its status text, or the generic internal-failure text.
std::string AutomationStatusMessage(core::HRESULT sc);

// The text used when nothing better describes a failure.
extern const char* const kAutomationGenericFailureText;
