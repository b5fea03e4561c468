#include "report/automation_exception.h"

const char* const kAutomationGenericFailureText = "An unexpected internal failure occurred.";

const char* CAutomationException::what() const noexcept { return m_message.c_str(); }

std::string AutomationStatusMessage(core::HRESULT sc)
{
    std::string text = core::StatusText(sc);
    return text.empty() ? std::string(kAutomationGenericFailureText) : text;
}

COleException::COleException(core::HRESULT sc) : m_sc(sc) { SetMessage(GetErrorMessage()); }

std::string COleException::GetErrorMessage() const { return AutomationStatusMessage(m_sc); }

COleDispatchException::COleDispatchException(const core::EXCEPINFO& info)
    : COleDispatchException(info.description, info.wCode, info.scode, info.source)
{}

COleDispatchException::COleDispatchException(std::string description, core::WORD wCode, core::HRESULT scError,
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
