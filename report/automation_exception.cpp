#include "report/automation_exception.h"

const char* const kAutomationGenericFailureText = "An unexpected internal failure occurred.";

const char* CAutomationException::what() const noexcept { return m_message.c_str(); }

std::string AutomationStatusMessage(platform::HRESULT sc)
{
    std::string text = platform::StatusText(sc);
    return text.empty() ? std::string(kAutomationGenericFailureText) : text;
}

COleException::COleException(platform::HRESULT sc) : m_sc(sc) { SetMessage(GetErrorMessage()); }

std::string COleException::GetErrorMessage() const { return AutomationStatusMessage(m_sc); }

COleDispatchException::COleDispatchException(const platform::EXCEPINFO& info)
    : COleDispatchException(info.description, info.wCode, info.scode, info.source)
{}

COleDispatchException::COleDispatchException(std::string description, platform::WORD wCode, platform::HRESULT scError,
                                             std::string source)
    : m_wCode(wCode), m_scError(scError), m_strSource(std::move(source)), m_strDescription(std::move(description))
{
    SetMessage(GetErrorMessage());
}

std::string COleDispatchException::GetErrorMessage() const
{
    if (!m_strDescription.empty()) return m_strDescription;
    // A server that gives no description still must not leave the user with an empty box.
    if (m_scError != 0) return AutomationStatusMessage(m_scError);
    return kAutomationGenericFailureText;
}
