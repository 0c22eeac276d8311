#pragma once

// A report template: one page of named objects (memos, pictures, shapes, gradient bars) whose
// contents the reports fill. Positions and sizes are in the units of the Windows-era report
// engine, 1/96 inch, so the thresholds of the reports apply as they were written.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <memory>

namespace qel {

enum class TipoObjeto { Memo, Figura, Forma, Gradiente };

struct Objeto {
    TipoObjeto tipo = TipoObjeto::Memo;
    QString nome;
    QString dica; // the layout group the object belongs to
    QRectF geometria;
    bool visivel = true;

    // Memo.
    QStringList linhas;
    QFont fonte;
    Qt::Alignment alinhamento = Qt::AlignLeft | Qt::AlignTop;
    bool quebraLinhas = true;
    double moldura = 0; // frame line width; 0: no frame for memos

    // Picture.
    QImage imagem;
    bool esticar = true;

    // Shape: a rectangle; its frame width 0 draws the thinnest line the device has.
    double espessura = 1;

    // Gradient bar.
    QColor corInicio;
    QColor corFim;

    // Memo operations the reports use.
    void limpa() { linhas.clear(); }
    void defineTexto(const QString& texto) { linhas = QStringList{texto}; }
    void acrescenta(const QString& linha) { linhas.append(linha); }
    QString texto() const { return linhas.join(u'\n'); }
    // Width of the text on one line, and height of the text wrapped at the current width, with
    // the real font metrics at 96 dots per inch.
    double larguraTexto() const;
    double alturaTexto() const;

    // Picture operations.
    bool carregaImagem(const QString& arquivo);
};

class Modelo {
public:
    // Reads a template from its data file (a resource path or a file).
    static Modelo carrega(const QString& arquivo);

    const QString& nome() const { return nome_; }
    QSizeF papelMm() const { return papelMm_; }
    double margemEsquerdaMm() const { return margemEsquerdaMm_; }
    void defineMargemEsquerda(double mm) { margemEsquerdaMm_ = mm; }

    // The object of that name, found without regard to letter case. A name the template lacks
    // is a programming error: ErroInesperado.
    Objeto& objeto(const QString& nome);
    const Objeto& objeto(const QString& nome) const;
    bool tem(const QString& nome) const;
    QList<Objeto>& objetos() { return objetos_; }
    const QList<Objeto>& objetos() const { return objetos_; }

private:
    QString nome_;
    QSizeF papelMm_{210, 297};
    double margemEsquerdaMm_ = 0;
    QList<Objeto> objetos_;
};

} // namespace qel
