// Loop steps of hydrometeorology, infiltration and groundwater.
#pragma once

#include "core/arrays.hpp"
#include "core/calendar.hpp"
#include "model/model_state_fwd.hpp"

namespace kesta {

enum class water_flow : int;

void step_soil_et_accounting(model_state& m);
// Long-term runs, hourly: the next weather record, the basin averages of the
// soil, potential evapotranspiration, the frozen-ground index and, between
// events, snowmelt. The end of the weather ends the run (during the last
// event, only the weather).
void step_hydromet(model_state& m);
void step_infiltration(model_state& m);
// True when the run has an infiltration method (any of the four).
bool any_infiltration(const model_state& m);
// The record of cell k's soil class (soil_class_record values): class 0 for
// a cell past the soil-type vector; null for a class the table does not hold.
double* soil_class_of(model_state& m, int k);
const double* soil_class_of(const model_state& m, int k);
// Depth (cm) of the soil-accounting stores of cell k: SOIL_MOIST_DEPTH, or
// under layered soils the first two layers of the cell's class. The soil
// between it and a deeper water table is counted beside the stores.
double soil_stores_depth(const model_state& m, int k);
// The ground of cell k moved from `before` (m) to elev[k] by erosion or
// deposition: over a simulated aquifer, the unsaturated soil between the
// soil-accounting stores and the water table thins or thickens with it and
// gives its water to the aquifer or takes it from it (gw_unsat_exchange).
void soil_follows_ground(model_state& m, int k, double before);
void step_sacramento(model_state& m);
void step_groundwater(model_state& m);
// At the end of the run the aquifer takes the stream, lake and tile-drain
// exchanges that reached it after its last step, so its final volume holds
// what the surface balances booked as gone to or come from it.
void settle_groundwater_exchanges(model_state& m);

// The soil columns as an event starts (`area` m2 a cell). With `carried`
// books (opened as the event before closed) the drainage and the
// surface's evaporation since then go to the event's carried volumes.
// Green and Ampt with redistribution: a fresh wetting profile, the initial
// moistures held within the residual and saturated ones.
void start_redistribution(model_state& m, double area, bool carried);
// Layered soils of a long-term run: the layer moistures from the soil
// stores.
void start_layered_soils(model_state& m, double area, bool carried);
// The soil's volumes of an ended event (with soil ET accounting or
// Richards infiltration): groundwater recharge, evaporation, net
// infiltration, the final soil storage and the Richards balance error.
void soils_at_event_end(model_state& m, double area);
// Books cell k's depth v[k] (cm) as a volume over `area` m2 (m3) of the
// water flow `flow` and zeroes it; with `carry`, the volume is added there
// too.
void move_cm_to_total(model_state& m, vec1<double>& v, int k, double area, water_flow flow, double* carry = nullptr);

// Set-up calls of the model-input loading.
void setup_wetlands(model_state& m);
void open_sacramento_file(model_state& m);
void read_soil_table(model_state& m);
// Services the rainfall and event steps call.

// Reads the hydrometeorological file hmet_fp in the layout its card chose.
// With hmet_call_count 1: a scan of the whole file that checks every line,
// fills hmet_first_record and hmet_last_record (KVL: an hour of 24 left as
// read), hmet_record_count and, for SAMSON, the station, rewinds the file and
// returns 0; any other result follows a refusal (code 4000, reported).
// Otherwise the record of the next hour into the hmet_ values and
// hmet_record_date, its missing values repaired and counted in
// hmet_points_repaired; -1 at the end of the data; after a refusal the error
// record's stop flag is set.
int read_hmet_record(model_state& m);
// 1 when the event start lies inside the hydrometeorological period, else 0
// after its message.
int check_hmet_dates(const date_record& begin, const date_record& end, int year, int month, int day,
                     int hour);
// Nearest gauge of every active cell (Thiessen rain), from the cell centres
// (x = j dx + west - dx/2, y = north - i dx + dx/2); on equal distances the
// later gauge wins. A cell farther than 900000 from every gauge (or a set of
// no gauges) prints its message and stops the run with code 4000, reported
// at once; the cells after it keep their earlier values.
void find_neighbor(int ngauges, const mat2<int>& mask, const vec1<double>& easting,
                   const vec1<double>& northing, double north, double west, vec1<int>& nearest,
                   double dx, int rows, int cols);
// Rate of every active cell in period p by inverse-distance-squared
// weighting of the gauges' rates in values[gauge][p]. A gauge closer than dx
// to a cell centre gives the cell its own value; a single gauge gives every
// cell its value.
void idw_points_to_grid(double dx, int period, const mat2<int>& mask, int ngauges,
                        const vec1<double>& northing, const vec1<double>& easting, double north,
                        double west, const mat2<double>& values, vec1<double>& ri, int rows,
                        int cols);
// Net rain rate `ri_eff` of every cell after the canopy took its share over
// `seconds` (rain on a channel lake passes whole); the intercepted depth
// joins icep_dep and, as volume, the run's interception sum. The canopy's
// storage and coefficient are divided by the seasonal factor of the month.
void apply_interception(model_state& m, double seconds);
// Melts the snow of every cell outside the lakes over `seconds` by the
// energy balance of the current weather record (with the rain's heat while
// an event is on); the melt joins the cell's overland depth. 1 when snow
// remains on some cell.
int snowmelt_energy_balance(model_state& m, double seconds);
// Runs the Richards soil columns over `seconds`; returns the evaporated depth
// summed over the cells (m).
double richards_unsat_step(model_state& m, double seconds);
// theta_all of every cell outside the channel-network lakes takes the
// moisture of the top node of its Richards column.
void richards_surface_moisture(model_state& m);
// Infiltration kernels of the soil-column methods over dt seconds, called by
// step_infiltration: Green and Ampt with redistribution (step number
// gar_step_count) and multi-layer Green and Ampt. Each lowers h, raises
// infdep and sets fav (cm/h) of every cell it handles.
void green_ampt_redist(model_state& m, double dt);
void green_ampt_multilayer(model_state& m, double dt);
// Water held by a cell's Richards column (m of depth), and the relative
// saturation of its upper soil_moist_depth.
double richards_column_water(const model_state& m, int cell);
double richards_top_saturation(const model_state& m, int cell);
// Sacramento accounting: the water it holds now (m3: its stores, the
// infiltration it has not yet taken and the outflow the channels have not
// yet taken), and its evapotranspiration, infiltration and outflow since the
// event's books opened (m3). Opening the books marks the three totals; the
// start of an event hands the outflow on its way to the event's channels.
double sacramento_storage_volume(const model_state& m);
double sacramento_et_volume(const model_state& m);
double sacramento_event_infiltration(const model_state& m);
double sacramento_event_base_flow(const model_state& m);
void sacramento_open_event_books(model_state& m);
void sacramento_start_event(model_state& m);

}  // namespace kesta
