#include "soap_test_util.h"

CTestContext::CTestContext() {
    m_pSoap = soap_new();
    SoapInitContext(m_pSoap);
}

CTestContext::~CTestContext() {
    soap_destroy(m_pSoap);
    soap_end(m_pSoap);
    soap_free(m_pSoap);
}

void EndMessage(struct soap* pSoap) {
    soap_destroy(pSoap);
    soap_end(pSoap);
}
