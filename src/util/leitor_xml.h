#pragma once

// The XML line reader through which the printouts fetch values from a document. It does not
// parse: the document is cut into one element per line, a group is the run of lines inside
// the first element of a name, and a value is the text between a line's opening and closing
// tags. Documents are the authorities' flat layouts, so this is all the printouts need.

#include <QString>
#include <QStringList>

namespace qel {

class LeitorXml {
public:
    // `tipo` is the run's document kind (Tipo: "NFe", "NFCe", "CTe", "MDFe" ...), which the
    // names "Chave de Acesso" and "Versao" need.
    explicit LeitorXml(const QString& tipo = QString());

    void defineTipo(const QString& tipo);
    const QString& tipo() const { return tipo_; }

    // Loads a document: the XML text itself (it begins with "<" and ends with ">", blanks
    // around it aside) or the path of a file ("X:\...", "\\server\share\..." or "/...").
    // Any other source leaves both line lists empty. A missing file throws ErroInesperado.
    void Carrega_XML(const QString& fonte);

    // Takes the lines inside the first element named `nome` into the group lines (tag names
    // and attributes upper-cased, element text as it is). True when at least one was taken.
    bool Seleciona_Grupo(const QString& nome);

    // One value of the document, empty when nothing matches. Besides element names (searched
    // in the group lines, optionally inside the sub-group `grupo`, occurrence `indice`) it
    // knows "QRCode", "Tipo de Documento", "Nome xCampo", "Chave de Acesso", "Versao",
    // "*name" (whole document; `grupo` "Ultimo" for the last one), "<start" (the whole last
    // line so beginning) and, with `grupo` "EVT", a case-sensitive element of the document.
    QString Busca_Valor(const QString& nome, const QString& grupo = QString(), int indice = 0) const;

    const QStringList& linhas() const { return linhas_; }
    const QStringList& linhasGrupo() const { return grupo_; }

private:
    QString tipo_;
    QStringList linhas_; // the document, one element per line
    QStringList grupo_;  // the inside of the selected element
};

} // namespace qel
