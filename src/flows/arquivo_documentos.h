#pragma once

// The archive of the documents the flows bring to a final state: "Arquivos_XML" below the
// working folder, one folder per company, one per period of emission. Every path of the archive
// is made here, and every file is written here: in UTF-8 as its declaration says, on one line,
// through a temporary file renamed over the target, so a crash never leaves half a document.

#include "util/codigos.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace qel {

// What the later flows take from a stored document.
struct DadosArquivados {
    QString protocolo;       // nProt of the authorisation
    QString ufEncerramento;  // MDF-e: IBGE code of the state of unloading (UFFim)
    QString munEncerramento; // MDF-e: municipality of unloading (cMunDescarga)
};

class ArquivoDocumentos {
public:
    explicit ArquivoDocumentos(QString pastaTrabalho) : pastaTrabalho_(std::move(pastaTrabalho)) {}

    // "Arquivos_XML/CNPJ-<the CNPJ without punctuation, letters upper-cased>/".
    QString pastaEmpresa(const QString& cnpj) const;
    // Year and month of emission from the key (characters 3-4 and 5-6): "24-05".
    static QString periodo(const QString& chave);
    // nfe, nfc, cte, mdf, nfs, dot: the first three letters of the kind in lower case.
    static QString sufixo(TipoDocumento tipo);

    // Where the flows store, for the company of the run.
    QString documento(const QString& cnpj, const QString& chave, TipoDocumento tipo) const;
    QString denegacao(const QString& cnpj, const QString& chave) const;
    // A document issued in contingency and not authorised yet, signed as it will be sent:
    // "Contingencia/<key>-<suffix>.xml" of the company, gone once its proc is stored.
    QString contingencia(const QString& cnpj, const QString& chave, TipoDocumento tipo) const;
    // The calling application's e-mail request of that document, kept beside it until the
    // document is authorised and mailed: "Contingencia/<key>-<suffix>.EML".
    QString pedidoEmailContingencia(const QString& cnpj, const QString& chave, TipoDocumento tipo) const;
    // A file beside the document with its own suffix ("can", "enc", "Inu").
    QString irmao(const QString& cnpj, const QString& chave, const QString& sufixo) const;
    QString cartaCorrecao(const QString& cnpj, const QString& chave, int sequencia) const;
    // Manifestation of a received document: below the task's year-month, "Recebidas".
    QString manifestacao(const QString& cnpj, const QString& anoMes, const QString& chave,
                         const QString& codigoEvento) const;

    // A document stored earlier, looked up by its key alone (the company folder from characters
    // 7 to 20 of the key), without regard to letter case. Empty when there is none.
    QString procura(const QString& chave, TipoDocumento tipo) const;
    std::optional<DadosArquivados> dados(const QString& chave, TipoDocumento tipo) const;
    // The sequence numbers of the correction letters stored for the key, ascending.
    QList<int> sequenciasCCe(const QString& chave) const;

    // Writes a document (one line, then CR LF) in UTF-8 atomically, making the folders it needs.
    // False when it could not be written; an older file is then left as it was.
    static bool grava(const QString& caminho, const QString& texto);

private:
    QString raiz() const { return pastaTrabalho_ + QStringLiteral("Arquivos_XML/"); }
    QString pastaPeriodo(const QString& cnpj, const QString& chave) const;
    QString pastaTrabalho_;
};

} // namespace qel
