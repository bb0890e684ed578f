// CFileList.
#include "job/job_state.h"

std::vector<std::string>& CFileList::Own()
{
    if (!m_paths)
        m_paths = std::make_shared<std::vector<std::string>>();
    else if (m_shared)
        m_paths = std::make_shared<std::vector<std::string>>(*m_paths);
    m_shared = false;
    return *m_paths;
}
