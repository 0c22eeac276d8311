#pragma once

// Estrela: the program of the municipality's provider takes the NFS-e from an exchange folder.
// The signed document and a copy of the caller's file are left there; no service is called, and
// collecting the provider's answer is not this program's.

#include <QString>

namespace qel::nfse {

struct TrocaEstrela {
    QString assinado;          // where the signed document was written
    QString copia;             // where the caller's file was copied
    bool copiaExistia = false; // a copy of that name still waits: nothing was written
    QString erro;              // why a file could not be written
};

// Writes the signed document to <pasta>/XML_Assinado.xml and copies the caller's file beside it.
// When a copy of that name is still there, the earlier exchange has not been taken: nothing is
// written. The folder is made when missing.
TrocaEstrela trocaArquivoEstrela(const QString& pasta, const QString& assinado,
                                 const QString& arquivoDocumento);

} // namespace qel::nfse
