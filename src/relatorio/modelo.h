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
#include <cstdint>
#include <utility>
#include <vector>

namespace qel {

enum class TipoObjeto { Memo, Figura, Forma, Gradiente };

// A barcode or a 2D code as its grid of modules. A picture that holds one draws it as filled
// rectangles, each module the same whole number of device dots where the output has dots, so
// no resampling greys or shifts a bar edge.
struct Simbolo {
    int colunas = 0;                   // modules across
    int linhas = 0;                    // module rows; 1 for a linear barcode, whose bars fill the height
    std::vector<std::uint8_t> escuros; // row after row, 1 for a dark module
    int zonaSilencio = 0;              // light modules kept on every side, inside the picture's frame

    bool vazio() const { return colunas <= 0 || linhas <= 0; }
    bool escuro(int x, int y) const { return escuros[static_cast<std::size_t>(y) * colunas + x] != 0; }
    bool linear() const { return linhas == 1; }
};

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
    bool estica = false;   // on a roll: takes the height its text needs (Modelo::empilhaFaixas)
    bool vertical = false; // turned a quarter to the left, read from the bottom up (a margin line)
    double moldura = 0;    // frame line width; 0: no frame for memos

    // Picture: a bitmap, or a symbol (which wins when both are set).
    QImage imagem;
    bool esticar = true;
    Simbolo simbolo;

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
    // Where a memo's text is drawn: its frame less a unit on each side, so the text never touches
    // a frame line. The height is measured at this width too, or a line that fits the frame but
    // not the text area would wrap once more than measured and overflow its box.
    QRectF areaTexto() const { return geometria.adjusted(1, 0, -1, 0); }

    // Picture operations.
    bool carregaImagem(const QString& arquivo);
    void defineSimbolo(Simbolo s) {
        imagem = QImage();
        simbolo = std::move(s);
    }
    void limpaFigura() {
        imagem = QImage();
        simbolo = Simbolo();
    }
};

class Modelo {
public:
    // Reads a template from its data file (a resource path or a file).
    static Modelo carrega(const QString& arquivo);

    const QString& nome() const { return nome_; }
    // The paper of the page. A roll (a template whose paper has "continuo") is as long as what is
    // on it: the lowest visible object plus the roll's bottom margin.
    QSizeF papelMm() const;
    bool continuo() const { return continuo_; }
    double margemEsquerdaMm() const { return margemEsquerdaMm_; }
    void defineMargemEsquerda(double mm) { margemEsquerdaMm_ = mm; }

    // Lays a roll out from the top. Its bands (the objects sharing a hint, in the order the hints
    // first appear) follow one another with the template's spacing; a band with nothing visible
    // takes no room. A stretching memo takes the height its text needs (none when it is hidden or
    // blank): what of its band lies below it moves with it, side-by-side stretching memos move it
    // by the tallest, and the shapes around them grow with them. Objects without a hint stay.
    void empilhaFaixas();

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
    bool continuo_ = false;
    double margemInferiorMm_ = 0;
    double margemEsquerdaMm_ = 0;
    QList<Objeto> objetos_;
};

} // namespace qel
