#pragma once

// The text of an NFC-e's QR code (infNFeSupl/qrCode) and the version each state's authoriser is
// given. Version 2: "Manual de Especificações Técnicas do DANFE NFC-e e QR Code" v5.0; version 3:
// NT 2025.001 (section 04) and the manual's v6.0.
//
//   version 2 on line    page?p=key|2|tpAmb|CSC id|SHA-1(key|2|tpAmb|CSC id + CSC)
//   version 2 off line   page?p=key|2|tpAmb|day|vNF|hex(DigestValue)|CSC id|SHA-1(... + CSC)
//   version 3 on line    page?p=key|3|tpAmb
//   version 3 off line   page?p=key|3|tpAmb|day|vNF|recipient type|recipient|signature
//
// Off line is the contingency of the document (tpEmis 9). The version 3 signature is RSA with
// SHA-1, in Base64, of the text before it (separators included), by the certificate that signs
// the NFC-e; so the QR group is made after the document is signed, and it stays outside the
// signed infNFe.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

namespace qel {

// What the document itself decides: the contingency (tpEmis 9), day of emission, vNF, digest,
// the recipient's identification, and whether the issuer is a person (CPF), whom version 2 is
// refused to (rule ZX02-222, rejection 444).
struct DocumentoQrNfce {
    bool offline = false; // tpEmis 9
    bool emitentePessoaFisica = false;
    // Off line: the day of dhEmi as the document writes it (two digits), vNF as written.
    QString diaEmissao;
    QString vNF;
    QString digestValue; // version 2 off line: the document's signature digest
    // Version 3 off line: "1" CNPJ, "2" CPF, "3" foreign (the identification itself then blank),
    // both blank without a recipient.
    QString tipoDestinatario;
    QString destinatario;
};
DocumentoQrNfce leDocumentoQrNfce(const QString& assinado);

// What the QR code text is made of: the run's page, key, environment and CSC, the version, and
// the document's own fields.
struct DadosQrNfce {
    QString pagina; // the state's QR consultation page, without "?p="
    QString chave;
    QString tpAmb; // of the run
    int versao = 2;
    DocumentoQrNfce documento; // off line: day, vNF, digest, recipient
    QString idCsc;             // version 2: the CSC id as configured ("000001" or blank)
    QString csc;               // version 2
};

// The version the document's QR code is made in: the state's, but 3 for an issuer identified by
// CPF.
int versaoQrDoDocumento(int versaoDoEstado, const DocumentoQrNfce& documento);

// The settings a version 2 QR code lacks, by their names in the company's settings: "TOKEN" (the
// CSC) when it is blank, then "IDTOKEN" when that is blank too. Empty when the code can be made;
// a blank CSC id beside a CSC stands for the first, as the manual numbers them.
QStringList cscEmBranco(const QString& token, const QString& idToken);

// The text that is hashed (version 2, with the CSC appended) or signed (version 3 off line); the
// whole parameter text of version 3 on line.
QString parametrosQrNfce(const DadosQrNfce& d);

// Signs a text with the certificate: the Base64 of its RSA-SHA1 signature, empty on failure.
using AssinaTextoQr = std::function<QString(const QByteArray&)>;

// The whole qrCode text; empty when the version 3 off-line signature could not be made.
QString textoQrNfce(const DadosQrNfce& d, const AssinaTextoQr& assina);

// The version of the QR code per state (qrcode_nfce.conf, rows "KEY VERSION", KEY the state's
// IBGE code or "*" for any other); an issuer identified by CPF always gets version 3.
class VersoesQrNfce {
public:
    // The built-in table with the installation's file read over it, when it names one.
    static VersoesQrNfce carrega(const QString& arquivoExtra);

    // Later rows replace earlier ones; a malformed row is kept in erros().
    void le(const QString& texto, const QString& origem);
    int versao(const QString& cUF) const;
    const QStringList& erros() const { return erros_; }

private:
    QHash<QString, int> versoes_;
    QStringList erros_;
};

} // namespace qel
