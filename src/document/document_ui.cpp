#include "document/document_ui.h"

#include "errors/exception.h"

void CDocumentUi::Alert(const CVHException& error) {
  error.Clone()->Report();
}

bool CDocumentUi::Confirm(const CVHException& question) {
  return question.Clone()->Report();
}
